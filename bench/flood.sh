#!/usr/bin/env bash
# A flood at one node: host 1 sends COUNT valid logons, each from a user of its
# own, as fast as it can to the node on host 2; host 3 runs a second node that
# both listed before the flood. Prints the node's memory (idle, peak, a few
# seconds later) with its ratio to idle, what became of the datagrams (kernel
# drops, handled, dropped by the event router), the rows listed, and how long
# a state change takes to reach the second node afterwards (target 2 s).
#   flood.sh CLI QLMSIM [COUNT]
set -u -o pipefail
cli=$1 sim=$2 count=${3:-100000}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  exec timeout -s TERM 900 "$netlab" run 3 -- bash "$0" --inside "$cli" "$sim" "$count" </dev/null
fi
shift
cli=$1 sim=$2 count=$3
dir=$QLM_LAB_DIR
target_ms=2000 state_limit_s=240 drain_limit_s=240 quit_limit_s=120 later_s=5

# node_start NAME HOST: a node fed through a fifo. Straight through ip netns
# exec (it execs the program), so the pid is the node itself.
node_start() {
  local name=$1 host=$2
  mkdir -p "$dir/home-$name"
  mkfifo "$dir/$name.in"
  ip netns exec "${QLM_LAB_PREFIX}h$host" "$cli" --home "$dir/home-$name" listen --json --nickname "$name" \
    <"$dir/$name.in" >"$dir/$name.log" 2>"$dir/$name.err" &
}
wait_for() { # wait_for SECONDS COMMAND...: true once COMMAND succeeds
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
lists() { grep "\"NickName\":\"$2\"" "$dir/$1.log" >/dev/null 2>&1; }
status_kib() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }
# A UDP counter of host 2's kernel (/proc/net/snmp is per namespace).
udp_counter() {
  labexec 2 cat /proc/net/snmp | awk -v k="$1" '
    $1 == "Udp:" && !seen { for (i = 2; i <= NF; i++) col[$i] = i; seen = 1; next }
    $1 == "Udp:" { print $(col[k]); exit }'
}
now_ms() { local t=$EPOCHREALTIME; echo $((10#${t%.*} * 1000 + 10#${t#*.} / 1000)); }

node_start second 3
second_pid=$!
exec 8>"$dir/second.in"
node_start flooded 2
node_pid=$!
exec 7>"$dir/flooded.in"
if ! wait_for 30 lists flooded second || ! wait_for 30 lists second flooded; then
  echo "flood: the two nodes did not list each other"; cat "$dir/flooded.err" "$dir/second.err"; exit 1
fi

idle_rss=$(status_kib "$node_pid" VmRSS)
idle_hwm=$(status_kib "$node_pid" VmHWM)
in0=$(udp_counter InDatagrams) buf0=$(udp_counter RcvbufErrors)

# Watches the second node's log from now on; stamps the first state line of
# the flooded node. A read loop, not a pipe, so the stamp is not held up.
rm -f "$dir/state.at"
(
  while IFS= read -r line; do
    if [[ $line == *'"event":"WM_PEER_STATE"'* && $line == *'"NickName":"flooded"'* &&
          $line == *'"OnlineState":1'[,}]* ]]; then
      now_ms >"$dir/state.at.tmp" && mv "$dir/state.at.tmp" "$dir/state.at"
      break
    fi
  done < <(tail -n +1 -F "$dir/second.log" 2>/dev/null)
  kill "$!" 2>/dev/null
) &
watcher=$!

labexec 1 "$sim" --flood "$count" --to "$(labaddr 2)" --port 7709 >"$dir/sim.out" 2>&1
flood_end=$(now_ms)
echo "state 1" >&7
if wait_for "$state_limit_s" test -e "$dir/state.at"; then
  state_ms=$(($(cat "$dir/state.at") - flood_end))
else
  state_ms=-1
fi

# The backlog is worked off once the log stops growing.
lines() { wc -l <"$dir/flooded.log"; }
last=$(lines) quiet=0
for ((i = 0; i < drain_limit_s * 2 && quiet < 6; i++)); do
  sleep 0.5
  now=$(lines)
  if [ "$now" -eq "$last" ]; then quiet=$((quiet + 1)); else quiet=0 last=$now; fi
done
drained=$([ "$quiet" -ge 6 ] && echo 1 || echo 0)
drain_ms=$(($(now_ms) - flood_end - quiet * 500))
peak_hwm=$(status_kib "$node_pid" VmHWM)
drained_rss=$(status_kib "$node_pid" VmRSS)
in1=$(udp_counter InDatagrams) buf1=$(udp_counter RcvbufErrors)
sleep "$later_s"
later_rss=$(status_kib "$node_pid" VmRSS)
handled=$(grep '"event":"WM_PEER_LOGON"' "$dir/flooded.log" | grep -c '"UserId":"{FLOOD-')
# A change that came after the wait still counts, marked as late.
late_ms=-1
[ "$state_ms" -lt 0 ] && [ -e "$dir/state.at" ] && late_ms=$(($(cat "$dir/state.at") - flood_end))
kill "$watcher" 2>/dev/null

rows=-1 flood_rows=-1 second_listed=0
echo list >&7
if wait_for 60 grep '"event":"online-list"' "$dir/flooded.log" >/dev/null; then
  list=$(grep '"event":"online-list"' "$dir/flooded.log" | tail -n 1)
  rows=$(grep -o '"IsSelf":' <<<"$list" | wc -l)
  flood_rows=$(grep -o '"UserId":"{FLOOD-' <<<"$list" | wc -l)
  second_listed=$(grep -c '"NickName":"second"' <<<"$list")
fi

echo "flood: $(cat "$dir/sim.out")"
awk -v count="$count" -v idle="$idle_rss" -v idle_hwm="$idle_hwm" -v peak="$peak_hwm" -v drained_rss="$drained_rss" \
    -v later="$later_rss" -v later_s="$later_s" -v in0="$in0" -v in1="$in1" -v buf0="$buf0" -v buf1="$buf1" \
    -v handled="$handled" -v rows="$rows" -v flood_rows="$flood_rows" -v second_listed="$second_listed" \
    -v state_ms="$state_ms" -v target="$target_ms" -v limit="$state_limit_s" -v drain_ms="$drain_ms" \
    -v drained="$drained" -v drain_limit="$drain_limit_s" -v late_ms="$late_ms" 'BEGIN {
  mib = 1024
  printf "memory: idle RSS %.1f MiB (peak so far %.1f MiB)\n", idle / mib, idle_hwm / mib
  printf "        peak RSS (VmHWM) after the flood %.1f MiB  (+%.1f MiB, ratio to idle %.2f)\n", peak / mib, (peak - idle) / mib, peak / idle
  printf "        RSS then %.1f MiB, %d s later %.1f MiB  (ratio to idle %.2f)\n", drained_rss / mib, later_s, later / mib, later / idle
  printf "datagrams: %d sent; host 2 kernel: %d delivered to sockets, %d dropped on a full receive buffer\n", count, in1 - in0, buf1 - buf0
  printf "           node: %d flood logons handled (JSON line each) by then\n", handled
  if (rows >= 0)
    printf "rows listed: %d (%d flood users, second node listed: %s)\n", rows, flood_rows, (second_listed > 0 ? "yes" : "no")
  else
    printf "rows listed: no answer to \"list\" within 60 s\n"
  if (state_ms >= 0)
    printf "state change seen by the second node %d ms after the flood (target %d ms, ratio %.3f, within 2 s: %s)\n", state_ms, target, state_ms / target, (state_ms <= target ? "yes" : "no")
  else if (late_ms >= 0)
    printf "state change not seen within %d s; it came %d ms after the flood (target %d ms, ratio %.3f)\n", limit, late_ms, target, late_ms / target
  else
    printf "state change not seen by the second node within %d s of the flood (target %d ms)\n", limit, target
  if (drained)
    printf "backlog worked off %d ms after the flood (log quiet for 3 s)\n", drain_ms
  else
    printf "backlog not worked off within %d s of the flood (the log still grew)\n", drain_limit
}'

# "quit": the node says goodbye to every row, then prints what its router
# dropped. Bounded: behind a backlog it may take long.
gone() { ! [ -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }
quit_start=$(now_ms)
echo quit >&7
wait_for "$quit_limit_s" gone "$node_pid" || kill -TERM "$node_pid"
wait "$node_pid"
node_rc=$?
quit_ms=$(($(now_ms) - quit_start))
echo quit >&8
wait "$second_pid"
stopped=$(grep '"event":"stopped"' "$dir/flooded.log" | tail -n 1)
counter() { sed -nE "s/.*\"$1\":([0-9]+).*/\1/p" <<<"$stopped"; }
handled_all=$(grep '"event":"WM_PEER_LOGON"' "$dir/flooded.log" | grep -c '"UserId":"{FLOOD-')
echo "router at exit: $(counter overflowed) overflowed (dropped, never posted), $(counter pending) still waiting," \
  "$(counter unrouted) unrouted, $(counter mistyped) mistyped; $handled_all flood logons handled in all"
echo "quit (logoff to every row) took $quit_ms ms; node log $(du -m "$dir/flooded.log" | cut -f1) MiB of JSON"

# QLM_FLOOD_KEEP=DIR keeps the nodes' logs (the lab folder goes with the lab).
[ -n "${QLM_FLOOD_KEEP:-}" ] && mkdir -p "$QLM_FLOOD_KEEP" && cp "$dir"/*.log "$dir"/*.err "$dir/sim.out" "$QLM_FLOOD_KEEP/"
[ "$node_rc" -eq 0 ] || { echo "flood: the node exited $node_rc"; cat "$dir/flooded.err"; exit 1; }
[ -n "$stopped" ] || { echo "flood: the node printed no final counts"; exit 1; }
