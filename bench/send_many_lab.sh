#!/usr/bin/env bash
# One message to many recipients (bench_send_many, see send_many_bench.cpp):
# the recipients are address aliases of lab host 2, where one sink reads each
# request and closes; the sender runs on host 1.
#   send_many_lab.sh fanout TOOL [COUNT]  COUNT (default 2000) recipients: one
#       job against the same message to one recipient after another, in rounds
#       (target: the job under 1 s)
#   send_many_lab.sh dead TOOL            180 recipients and 20 lab addresses with
#       no host, which answer no ARP (target: every live one within 1 s, the
#       job within the connect limit + 1 s)
#   send_many_lab.sh memory TOOL [MIB]    MIB (default 10) MiB to 200 recipients:
#       the sender's peak RSS over its RSS before (target: under 40 MiB)
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  mode=${1:-} tool=${2:-} extra=${3:-}
  case "$mode" in
    fanout) aliases=${extra:-2000} ;;
    dead) aliases=180 ;;
    memory) aliases=200 ;;
    *) echo "usage: send_many_lab.sh fanout|dead|memory TOOL [COUNT|MIB]" >&2; exit 2 ;;
  esac
  [ -x "$tool" ] || { echo "send_many_lab: $tool is not a program" >&2; exit 2; }
  tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
  echo "== send_many_lab $mode; load average $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) processors)"
  exec timeout -s TERM 280 "$netlab" run 2 --extra-addrs 2 "$aliases" -- \
    bash "$0" --inside "$mode" "$tool" "$extra" </dev/null
fi
mode=$2 tool=$3 extra=$4
dir=$QLM_LAB_DIR
port=7720

# Host 1 reaches the aliases through host 2's own address: one neighbour
# entry instead of one per alias (the kernel's table holds about a thousand).
ip -n "${QLM_LAB_PREFIX}h1" route add 10.77.0.0/16 via "$(labaddr 2)" || exit 1

mkfifo "$dir/sink.in"
labexec 2 "$tool" sink --port "$port" <"$dir/sink.in" >"$dir/sink.out" 2>"$dir/sink.err" &
sink_pid=$!
exec 8>"$dir/sink.in"
for ((i = 0; i < 100; i++)); do
  grep -q ready "$dir/sink.out" 2>/dev/null && break
  sleep 0.05
done
grep -q ready "$dir/sink.out" || { echo "send_many_lab: the sink did not come up: $(cat "$dir/sink.err")" >&2; exit 1; }

mkdir -p "$dir/home-send"
args=(--addrs "$dir/extra-addrs-h2" --port "$port")
case "$mode" in
  dead)
    # Lab addresses with no host behind them: ARP goes unanswered.
    for ((h = 200; h < 220; h++)); do echo "10.77.0.$h"; done >"$dir/dead-addrs"
    args+=(--dead "$dir/dead-addrs") ;;
  memory) args+=(--mib "${extra:-10}") ;;
esac
labexec 1 env QUILLMATE_HOME="$dir/home-send" "$tool" "$mode" "${args[@]}"
rc=$?
echo quit >&8
exec 8>&-
wait "$sink_pid"
echo "sink: $(tail -n 1 "$dir/sink.out")"
exit "$rc"
