#!/usr/bin/env bash
# Nine hosts each open 8 connections to a node, send a message header and a
# body length of 100,000, and then one byte a second. They hold at most 4
# workers each, and every one only until its body falls behind the pace the
# listener allows: a tenth host's message still arrives at once, and the cut
# trickles are counted as slow-body.
#   QLM_CLI=path/to/quillmate-cli lab_trickle.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
# Short intervals; the counters line every 300 ms when it changed.
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=500,minute=100,counts=300"
readonly kAttackers=9 kPerHost=8
# Generous: the message is answered in milliseconds when a worker is free.
readonly kAnswerLimit=3

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  node_start n1 1
  expect_log n1 '"event":"network-confirmed"' "n1 listens"

  local h
  for ((h = 2; h <= kAttackers + 1; h++)); do
    labexec "$h" bash -c '
      trap "" PIPE
      fds=()
      for ((i = 0; i < '"$kPerHost"'; i++)); do
        exec {fd}<>/dev/tcp/10.77.0.1/'"$kLabPort"' || exit 1
        printf "QLM_MESSAGE\t2\t1033\tMallory\tEVIL\t{EVIL}\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tHi\r\n\x00\x01\x86\xa0" >&$fd
        fds+=("$fd")
      done
      touch "$QLM_LAB_DIR/trickle.'"$h"'"
      for ((s = 0; s < 20; s++)); do
        for fd in "${fds[@]}"; do printf x >&$fd 2>/dev/null; done
        sleep 1
      done' 2>/dev/null &
  done
  local tries ready
  for ((tries = 0; tries < 100; tries++)); do
    ready=$(find "$QLM_LAB_DIR" -maxdepth 1 -name 'trickle.*' | wc -l)
    [ "$ready" -eq "$kAttackers" ] && break
    sleep 0.1
  done
  [ "$ready" -eq "$kAttackers" ] && pass "$kAttackers hosts trickle $kPerHost bodies each" ||
    fail "only $ready of $kAttackers hosts could open their connections"
  # 4 of each host's 8 on workers, the others waiting unread.
  expect_log n1 '"event":"listener".*"running":36.*"waiting":36' "n1 serves 4 of each host's requests, the rest wait"

  local start elapsed host=$((kAttackers + 2))
  start=$(date +%s%N)
  if labexec "$host" timeout "$kAnswerLimit" "$cli" --home "$QLM_LAB_DIR/home-h$host" send --nickname honest \
    --to 10.77.0.1 "Through the trickle" >"$QLM_LAB_DIR/honest.out" 2>"$QLM_LAB_DIR/honest.err"; then
    elapsed=$((($(date +%s%N) - start) / 1000000))
    pass "host $host's message is delivered in $elapsed ms while the trickles hold their workers"
  else
    fail "host $host's message was not delivered within $kAnswerLimit s: $(cat "$QLM_LAB_DIR/honest.out" "$QLM_LAB_DIR/honest.err")"
  fi
  expect_log n1 '"Text":"Through the trickle.*"event":"WM_PEER_MESSAGE"' "n1 reports the message"
  # Cut about 5 s after each began; their hosts' waiting ones follow.
  expect_log n1 '"refused":\{[^}]*"slow-body":[1-9]' "n1 cuts the trickles and counts them as slow-body" 15
  node_stop n1
  wait
}

lab_test_main "$((kAttackers + 2))" -- "$@"
