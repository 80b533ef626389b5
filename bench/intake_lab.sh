#!/usr/bin/env bash
# A hostile peer against one node: the node (`listen --json`) on host 2, an
# honest node on host 3 sending one message a second throughout
# (`quillmate-cli send`), and one attack from host 1 (tests/lab/intake_peers.py):
#   flood    (a) 12 s of 50,000 "QLM_BROADCAST" datagrams a second
#   big      (b) 12 messages of 60 MB (RTF bodies), 4 connections at once
#   trickle  (c) 72 connections from 9 addresses: a message header, a length of
#                100,000, then one byte a second (20 s)
#   offers   (d) 20,000 file offers, the node accepting by hand
#                (`--no-auto-files --accept-files`)
# Prints key=value lines: the honest messages sent/arrived/lost and their
# send-to-arrival latency (from the start of `send`, so about 0.1 s of program
# start is in every figure), the node's RSS idle / peak / 30 s after the attack
# (VmRSS every 100 ms), the chat log's growth, the node's final listener and
# router counters, and each target beside its figure.
#   intake_lab.sh SCENARIO|all CLI [key=value...]
# key=value overrides the attack's size (rate=, seconds=, count=, size=,
# parallel=, addresses=, per_addr=, after=), keep=DIR keeps the node's logs.
# Two cores: the attacker, the node and the honest sender share them, so a
# flood rate the machine cannot make is printed as it was achieved.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh
scenario=${1:-} cli=${2:-}
[ $# -ge 2 ] && shift 2

if [ "$scenario" = all ]; then
  rc=0
  for s in flood big trickle offers; do
    bash "$0" "$s" "$cli" "$@" || rc=1
  done
  exit "$rc"
fi
case "$scenario" in
  flood | offers) lab_args=(3) limit=150 ;;
  big) lab_args=(3) limit=300 ;;
  trickle) lab_args=(3 --extra-addrs 1 9) limit=150 ;;
  *) echo "usage: intake_lab.sh flood|big|trickle|offers|all CLI [key=value...]" >&2; exit 2 ;;
esac
[ -x "$cli" ] || { echo "intake_lab: $cli is not a program" >&2; exit 2; }
command -v python3 >/dev/null || { echo "intake_lab: skipped: no python3"; exit 77; }
echo "== intake_lab $scenario"
timeout -s TERM "$limit" "$netlab" run "${lab_args[@]}" -- \
  python3 "$here/../tests/lab/intake_peers.py" drive "$scenario" "$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")" "$@" </dev/null
