#!/usr/bin/env bash
# The file stream between two lab hosts, from one tmpfs to another: a file of
# MIB MiB (default 1024) sent with `quillmate-cli sendfile` into a `listen`
# node, against socat -b 131072 copying the same file over TCP on the same
# link, in turns (two rounds each). Prints both rates and their ratio (target
# >= 0.9), and the peak memory of both nodes above idle (target <= 32 MiB).
#   file_lab.sh CLI [MIB]
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  command -v socat >/dev/null || { echo "file_lab: skipped: socat is not installed"; exit 77; }
  exec timeout -s TERM 600 "$netlab" run 2 -- bash "$0" --inside "$1" "${2:-1024}" </dev/null
fi
cli=$2 mib=$3
dir=$QLM_LAB_DIR
fs=$dir/tmpfs
mkdir -p "$fs"
mount -t tmpfs -o size=$((mib * 3 + 512))m qlmlab-files "$fs" || { echo "file_lab: cannot mount a tmpfs"; exit 1; }
trap 'umount -l "$fs" 2>/dev/null' EXIT
export QUILLMATE_TIMINGS="load=50,repeat=300"

now_ns() { date +%s%N; }
status_kib() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status" 2>/dev/null; }
wait_for() { # wait_for SECONDS COMMAND...
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 20; i++)); do "$@" && return 0; sleep 0.05; done
  return 1
}

head -c $((mib * 1048576)) /dev/urandom >"$fs/source.bin"
mkdir -p "$fs/home-recv" "$fs/home-send"
mkfifo "$dir/recv.in"
ip netns exec "${QLM_LAB_PREFIX}h2" "$cli" --home "$fs/home-recv" listen --json --nickname recv \
  <"$dir/recv.in" >"$dir/recv.log" 2>"$dir/recv.err" &
recv_pid=$!
exec 7>"$dir/recv.in"
wait_for 20 grep -q '"event":"network-confirmed"' "$dir/recv.log" || { echo "file_lab: the node did not start"; exit 1; }
idle_recv=$(status_kib "$recv_pid" VmRSS)
peak_recv=0 peak_send=0 idle_send=0
best_socat=0 best_stream=0

for round in 1 2; do
  # Baseline: socat from host 1's tmpfs into host 2's.
  rm -f "$fs/copy.bin"
  ip netns exec "${QLM_LAB_PREFIX}h2" socat -u -b 131072 TCP-LISTEN:9000,reuseaddr OPEN:"$fs/copy.bin",creat,trunc &
  listener=$!
  wait_for 5 bash -c "ip netns exec ${QLM_LAB_PREFIX}h2 ss -ltn | grep -q ':9000 '"
  start=$(now_ns)
  ip netns exec "${QLM_LAB_PREFIX}h1" socat -u -b 131072 OPEN:"$fs/source.bin" TCP:10.77.0.2:9000
  wait "$listener"
  socat_ns=$(($(now_ns) - start))
  cmp -s "$fs/source.bin" "$fs/copy.bin" || echo "file_lab: socat's copy differs"
  rm -f "$fs/copy.bin"

  # The stream: from the offer's acceptance to sendfile's exit.
  echo 5 >"/proc/$recv_pid/clear_refs"
  before=$(grep -c '"event":"WM_PEER_FILES"' "$dir/recv.log")
  ip netns exec "${QLM_LAB_PREFIX}h1" "$cli" --home "$fs/home-send" sendfile --json --nickname send \
    --to 10.77.0.2 "$fs/source.bin" >"$dir/send.out" 2>"$dir/send.err" &
  send_pid=$!
  wait_for 20 grep -q '"event":"offered"' "$dir/send.out"
  [ "$idle_send" = 0 ] && idle_send=$(status_kib "$send_pid" VmRSS)
  while ! grep -q '"event":"accepted"' "$dir/send.out" 2>/dev/null; do
    kill -0 "$send_pid" 2>/dev/null || break
    sleep 0.002
  done
  start=$(now_ns)
  while kill -0 "$send_pid" 2>/dev/null; do
    rss=$(status_kib "$send_pid" VmHWM)
    [ -n "$rss" ] && [ "$rss" -gt "$peak_send" ] && peak_send=$rss
    sleep 0.01
  done
  wait "$send_pid"
  stream_ns=$(($(now_ns) - start))
  wait_for 20 bash -c "[ \$(grep -c '\"event\":\"WM_PEER_FILES\"' '$dir/recv.log') -gt $before ]"
  rss=$(status_kib "$recv_pid" VmHWM)
  [ "$rss" -gt "$peak_recv" ] && peak_recv=$rss
  received=$(ls -d "$fs/home-recv/Files/From_send("*")")
  cmp -s "$fs/source.bin" "$received/source.bin" || echo "file_lab: the streamed file differs"
  rm -rf "$fs/home-recv/Files"

  echo "round $round: socat $((socat_ns / 1000000)) ms, sendfile $((stream_ns / 1000000)) ms"
  if [ "$best_socat" = 0 ] || [ "$socat_ns" -lt "$best_socat" ]; then best_socat=$socat_ns; fi
  if [ "$best_stream" = 0 ] || [ "$stream_ns" -lt "$best_stream" ]; then best_stream=$stream_ns; fi
done
echo quit >&7
wait "$recv_pid"

awk -v m="$mib" -v s="$best_socat" -v f="$best_stream" 'BEGIN {
  printf "file: %d MiB; socat -b 131072: %.0f MiB/s; sendfile into listen: %.0f MiB/s\n", m, m / (s / 1e9), m / (f / 1e9)
  printf "throughput ratio sendfile/socat: %.2f (target >= 0.9)\n", s / f }'
echo "peak memory above idle: receiving node $(((peak_recv - idle_recv) / 1024)) MiB (idle $((idle_recv / 1024)) MiB)," \
  "sending node $(((peak_send - idle_send) / 1024)) MiB (idle $((idle_send / 1024)) MiB) (target <= 32 MiB)"
