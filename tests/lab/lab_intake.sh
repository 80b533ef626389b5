#!/usr/bin/env bash
# A hostile peer does not hold up an honest one: while host 1 attacks the node
# on host 2, host 3 sends one message a second with `quillmate-cli send`, and
# every one must be shown by the node within 2 s of its send, none lost.
#   a 3 s flood of 50,000 "QLM_BROADCAST" datagrams a second from one address;
#   72 connections from 9 addresses (8 each, as many as one address may have
#   served at once), each a message header, a length of 100,000 and then one
#   byte a second, for 10 s.
# The peers and the figures come from intake_peers.py (bench/intake_lab.sh runs
# the full-size attacks).
#   QLM_CLI=path/to/quillmate-cli lab_intake.sh LABPROBE
set -u -o pipefail
QLM_LAB_TIMEOUT=55
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
readonly kPeers=$kLabDir/intake_peers.py
readonly kLimitMs=2000

# attack NAME WHAT [key=value...]: one attack with its honest peer; the honest
# messages must all arrive within kLimitMs.
attack() {
  local name=$1 what=$2 out
  shift 2
  out=$QLM_LAB_DIR/$name.figures
  python3 "$kPeers" drive "$name" "$cli" idle=2 after=2 drain=4 quit_limit=10 attack_limit=20 "$@" >"$out" 2>&1
  figure() { sed -n "s/^$1=//p" "$out"; }
  echo "   $what: $(grep -E '^(attack|honest_(sent|arrived|lost|p50_ms|max_ms|over_2s))=' "$out" | tr '\n' ' ')"
  if [ -z "$(figure honest_sent)" ]; then
    fail "$what: no figures: $(tr '\n' ' ' <"$out")"
  elif [ "$(figure honest_sent)" -lt 3 ]; then
    fail "$what: only $(figure honest_sent) honest messages were sent"
  elif [ "$(figure honest_lost)" -ne 0 ]; then
    fail "$what: $(figure honest_lost) of $(figure honest_sent) honest messages were lost (numbers $(figure honest_lost_seqs))"
  elif [ "$(figure honest_over_2s)" -ne 0 ]; then
    fail "$what: $(figure honest_over_2s) honest messages took more than $kLimitMs ms (numbers $(figure honest_over_2s_seqs), the slowest $(figure honest_max_ms) ms)"
  else
    pass "$what: all $(figure honest_sent) honest messages within $kLimitMs ms (slowest $(figure honest_max_ms) ms)"
  fi
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  command -v python3 >/dev/null || { fail "python3 is needed for the hostile peer"; return; }
  attack flood "a broadcast flood" rate=50000 seconds=3
  attack trickle "72 trickling connections from 9 addresses" addresses=9 per_addr=8 seconds=10
}

lab_test_main 3 --extra-addrs 1 9 -- "$@"
