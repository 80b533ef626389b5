#!/usr/bin/env bash
# Presence at scale: one node (host 1) and a simulator answering as PEERS peers
# from PEERS addresses of host 2. Prints the time from the node's logon to its
# last row, whether every peer is listed exactly once, and the node's CPU time
# per presence-check cycle, each with its ratio to the target.
#   presence_scale.sh CLI QLMSIM [PEERS]
set -u -o pipefail
cli=$1 sim=$2 peers=${3:-500}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  exec timeout -s TERM 120 "$netlab" run 2 --extra-addrs 2 "$peers" -- bash "$0" --inside "$cli" "$sim" "$peers" </dev/null
fi
shift
cli=$1 sim=$2 peers=$3
signal_ms=1000 cycles=10
tick=$(getconf CLK_TCK)

labexec 2 "$sim" --addrs "$QLM_LAB_DIR/extra-addrs-h2" --port 7709 --group 234.0.0.1 --seconds 60 \
  >"$QLM_LAB_DIR/sim.out" 2>&1 &
sim_pid=$!
sleep 0.5
mkfifo "$QLM_LAB_DIR/node.in"
# Straight through ip netns exec (it execs the program), so $! is the node itself.
QUILLMATE_TIMINGS="load=50,repeat=300,signal=$signal_ms" ip netns exec "${QLM_LAB_PREFIX}h1" "$cli" --home "$QLM_LAB_DIR/home" listen --json \
  <"$QLM_LAB_DIR/node.in" >"$QLM_LAB_DIR/node.log" 2>"$QLM_LAB_DIR/node.err" &
node_pid=$!
exec 7>"$QLM_LAB_DIR/node.in"

count_rows() { grep -c '"event":"WM_PEER_LOGONREPLY"' "$QLM_LAB_DIR/node.log"; }
for ((i = 0; i < 200; i++)); do
  [ "$(count_rows)" -ge "$peers" ] && break
  sleep 0.1
done
confirmed=$(grep -m1 '"event":"network-confirmed"' "$QLM_LAB_DIR/node.log" | sed -E 's/.*"t":([0-9]+).*/\1/')
last=$(grep '"event":"WM_PEER_LOGONREPLY"' "$QLM_LAB_DIR/node.log" | sed -n "${peers}p" | sed -E 's/.*"t":([0-9]+).*/\1/')
if [ -z "$confirmed" ] || [ -z "$last" ]; then
  echo "presence_scale: only $(count_rows) of $peers peers answered"; cat "$QLM_LAB_DIR/node.err"; exit 1
fi

# CPU of the node over whole check cycles (user + system time from /proc).
cpu() { awk '{print $14 + $15}' "/proc/$node_pid/stat"; }
replies_before=$(grep -c '"event":"WM_PEER_SIGNALREPLY"' "$QLM_LAB_DIR/node.log")
c0=$(cpu)
sleep $((signal_ms * cycles / 1000))
c1=$(cpu)
replies=$(( $(grep -c '"event":"WM_PEER_SIGNALREPLY"' "$QLM_LAB_DIR/node.log") - replies_before ))

echo list >&7
for ((i = 0; i < 50; i++)); do grep '"event":"online-list"' "$QLM_LAB_DIR/node.log" >/dev/null && break; sleep 0.1; done
rows=$(grep '"event":"online-list"' "$QLM_LAB_DIR/node.log" | tail -n1 | grep -o '"UserId":"[^"]*"' | wc -l)
distinct=$(grep '"event":"online-list"' "$QLM_LAB_DIR/node.log" | tail -n1 | grep -o '"UserId":"[^"]*"' | sort -u | wc -l)
echo quit >&7
wait "$node_pid"

awk -v peers="$peers" -v rows="$rows" -v distinct="$distinct" -v t0="$confirmed" -v t1="$last" \
    -v c0="$c0" -v c1="$c1" -v tick="$tick" -v cycles="$cycles" -v replies="$replies" 'BEGIN {
  ms = t1 - t0
  cpu = (c1 - c0) * 1000 / tick / cycles
  printf "rows listed: %d (%d distinct ids) for %d peers + the node itself\n", rows, distinct, peers
  printf "logon to last row: %d ms  (target 2000 ms, ratio %.3f)\n", ms, ms / 2000
  printf "CPU per check cycle: %.1f ms  over %d cycles, %d replies handled (target 50 ms, ratio %.3f)\n", cpu, cycles, replies, cpu / 50
  exit !(rows == peers + 1 && distinct == rows)
}'
