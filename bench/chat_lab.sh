#!/usr/bin/env bash
# Chat between lab hosts, sent by bench_chat_lab on host 1 (see
# chat_lab_bench.cpp), received by `quillmate-cli listen --json` nodes.
#   chat_lab.sh messages CLI TOOL [COUNT]
#       COUNT (default 2000) messages of a 1 KiB RTF body to the node on host
#       2, one connection each, back to back, against a raw TCP
#       connect-write-close loop of the same bytes into a sink on host 2 and
#       against the fair baseline (the same bytes, each waiting for the close
#       of a sink that reads the request and closes, as the node does), in
#       rounds (each kind in back-to-back slices taken in turns, so that load
#       from elsewhere falls on all). Prints the rates and the ratios (target
#       against the fair baseline >= 0.7), the send-to-event latency p50/p99 (target p50 < 5 ms),
#       the processor time per message on both ends, and the receiving node's
#       RSS before and after.
#   chat_lab.sh broadcasts CLI TOOL [COUNT]
#       COUNT (default 1000) broadcasts of 3000 bytes to the nodes on hosts 2,
#       3 and 4, in rounds: how many each node showed once, missed or showed
#       twice, and the kernel's receive-buffer drops on each host.
# QLM_CHAT_ROUNDS sets the number of rounds (default 3, at most 9),
# QLM_CHAT_SLICES the slices of a round (default 4; 1 sends COUNT of each in one go),
# QLM_CHAT_TMPFS=1 puts the nodes' homes (their chat logs) on tmpfs.
# QLM_CHAT_PERF=DIR records the receiving node and the sending tool with
# `perf record` into DIR/recv.data and DIR/send.data (messages only).
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  mode=${1:-} cli=${2:-} tool=${3:-}
  case "$mode" in
    messages) hosts=2 count=${4:-2000} ;;
    broadcasts) hosts=4 count=${4:-1000} ;;
    *) echo "usage: chat_lab.sh messages|broadcasts CLI TOOL [COUNT]" >&2; exit 2 ;;
  esac
  [ -x "$cli" ] && [ -x "$tool" ] || { echo "chat_lab: $cli or $tool is not a program" >&2; exit 2; }
  exec timeout -s TERM 600 "$netlab" run "$hosts" -- bash "$0" --inside "$mode" "$cli" "$tool" "$count" </dev/null
fi
mode=$2 cli=$3 tool=$4 count=$5
rounds=${QLM_CHAT_ROUNDS:-3} slices=${QLM_CHAT_SLICES:-4}
dir=$QLM_LAB_DIR
export QUILLMATE_TIMINGS="load=50,repeat=300"

pids=()
# The nodes' homes (and so their chat logs): on tmpfs when QLM_CHAT_TMPFS=1,
# which leaves the disk out of the figures (the sink stores nothing).
homes=$dir
if [ "${QLM_CHAT_TMPFS:-0}" = 1 ]; then
  homes=$(mktemp -d /dev/shm/qlmchat.XXXXXX) || exit 1
fi
# On any exit: end the nodes and the sink still running (the lab would stop
# them too, but a node told to stop says goodbye and prints its counts).
cleanup() {
  local pid
  exec 7>&- 8>&- 9>&-
  for pid in "${pids[@]+"${pids[@]}"}"; do
    wait_gone 10 "$pid" || kill -TERM "$pid" 2>/dev/null
  done
}
trap 'cleanup; [ "$homes" = "$dir" ] || rm -rf "$homes"' EXIT
gone() { ! [ -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }
wait_gone() { # wait_gone SECONDS PID
  local i
  for ((i = 0; i < $1 * 20; i++)); do gone "$2" && return 0; sleep 0.05; done
  return 1
}

# node_start NAME HOST: a listening node whose output goes to the fifo
# NAME.out (read by the tool) and whose commands come from NAME.in. Straight
# through ip netns exec, which execs the program: the pid is the node's.
node_start() {
  local name=$1 host=$2
  mkdir -p "$homes/home-$name"
  mkfifo "$dir/$name.in" "$dir/$name.out"
  ip netns exec "${QLM_LAB_PREFIX}h$host" "$cli" --home "$homes/home-$name" listen --json --nickname "$name" \
    <"$dir/$name.in" >"$dir/$name.out" 2>"$dir/$name.err" &
  pids+=($!)
}
# A UDP counter of HOST's kernel (/proc/net/snmp is per namespace).
udp_counter() {
  ip netns exec "${QLM_LAB_PREFIX}h$1" cat /proc/net/snmp | awk -v k="$2" '
    $1 == "Udp:" && !seen { for (i = 2; i <= NF; i++) col[$i] = i; seen = 1; next }
    $1 == "Udp:" { print $(col[k]); exit }'
}
show_errors() {
  local f
  for f in "$dir"/*.err; do [ -s "$f" ] && { echo "--- $(basename "$f")"; tail -n 20 "$f"; }; done
}

mkdir -p "$dir/home-send"
export QUILLMATE_HOME=$dir/home-send
# Other work on the machine shows in every figure but the processor times.
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) processors)"
if [ "$mode" = messages ]; then
  node_start recv 2
  recv_pid=$!
  mkfifo "$dir/sink.in" "$dir/sink.out"
  ip netns exec "${QLM_LAB_PREFIX}h2" "$tool" sink --port 7719 <"$dir/sink.in" >"$dir/sink.out" 2>"$dir/sink.err" &
  sink_pid=$!
  pids+=($!)
  # Holding the inputs open keeps the node and the sink reading commands.
  mkfifo "$dir/framed.in" "$dir/framed.out"
  ip netns exec "${QLM_LAB_PREFIX}h2" "$tool" sink --port 7721 --framed <"$dir/framed.in" >"$dir/framed.out" 2>"$dir/framed.err" &
  framed_pid=$!
  pids+=($!)
  exec 7>"$dir/recv.in" 8>"$dir/sink.in" 9>"$dir/framed.in"
  perf_pids=()
  if [ -n "${QLM_CHAT_PERF:-}" ]; then
    mkdir -p "$QLM_CHAT_PERF"
    perf record -q -F 2000 --call-graph dwarf,16384 -p "$recv_pid" -o "$QLM_CHAT_PERF/recv.data" >/dev/null 2>&1 &
    perf_pids+=($!)
  fi
  if [ "${QLM_CHAT_TMPFS:-0}" = 1 ]; then echo "chat log: on tmpfs"; else echo "chat log: on disk ($(df --output=fstype "$dir" | tail -n 1))"; fi
  if [ -n "${QLM_CHAT_PERF:-}" ]; then
    set -- perf record -q -F 2000 --call-graph dwarf,16384 -o "$QLM_CHAT_PERF/send.data" -- "$tool"
  else
    set -- "$tool"
  fi
  ip netns exec "${QLM_LAB_PREFIX}h1" "$@" messages --to "$(labaddr 2)" --sink-port 7719 --count "$count" \
    --rounds "$rounds" --slices "$slices" --warmup 200 --receiver "$dir/recv.out" --receiver-input "$dir/recv.in" \
    --receiver-pid "$recv_pid" --sink "$dir/sink.out" --sink-input "$dir/sink.in" --sink-pid "$sink_pid" \
    --framed-sink-port 7721 --framed-sink "$dir/framed.out" --framed-sink-input "$dir/framed.in" --framed-sink-pid "$framed_pid"
  rc=$?
  for pid in "${perf_pids[@]+"${perf_pids[@]}"}"; do kill -INT "$pid" 2>/dev/null; wait "$pid"; done
else
  outs="" ins=""
  for h in 2 3 4; do
    node_start "recv$h" "$h"
    outs+="${outs:+,}$dir/recv$h.out" ins+="${ins:+,}$dir/recv$h.in"
  done
  # One holder for the three inputs: fds 7, 8 and 9.
  exec 7>"$dir/recv2.in" 8>"$dir/recv3.in" 9>"$dir/recv4.in"
  declare -A drops0
  for h in 2 3 4; do drops0[$h]=$(udp_counter "$h" RcvbufErrors); done
  ip netns exec "${QLM_LAB_PREFIX}h1" "$tool" broadcasts --count "$count" --bytes 3000 --rounds "$rounds" \
    --receiver "$outs" --receiver-input "$ins"
  rc=$?
  for h in 2 3 4; do
    echo "host $h kernel: $(($(udp_counter "$h" RcvbufErrors) - ${drops0[$h]})) datagrams dropped on a full receive buffer"
  done
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$rc" -eq 0 ] || show_errors
exit "$rc"
