#!/usr/bin/env bash
# A laptop that starts before its network is up: the node on host 2 starts
# with its link down, the link comes up 3 s later, and host 1 lists it within
# 15 s (the node retries listening on every repeat tick, default timings).
#   QLM_CLI=path/to/quillmate-cli lab_late_network.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
unset QUILLMATE_TIMINGS

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  node_start n1 1
  expect_log n1 '"event":"network-confirmed"' "n1 hears its own self-check" 15

  labexec 2 ip link set eth0 down
  node_start late 2
  sleep 3
  if grep '"event":"network-confirmed"' "$QLM_LAB_DIR/late.log" >/dev/null; then
    fail "the node confirmed a network that is down"
  fi
  labexec 2 ip link set eth0 up
  labexec 2 ip route replace default dev eth0
  local up_at=$SECONDS
  expect_log n1 '"NickName":"late".*"event":"WM_PEER_LOGON"' "n1 hears the late node's logon" 15
  expect_log late '"NickName":"n1".*"event":"WM_PEER_LOGONREPLY"' "the late node lists n1" 5
  if [ $((SECONDS - up_at)) -le 15 ]; then
    pass "listed within 15 s of the link coming up"
  else
    fail "listed only after $((SECONDS - up_at)) s"
  fi
  local errors
  errors=$(grep -c "Error occured when starting" "$QLM_LAB_DIR/late.err")
  [ "$errors" -le 1 ] && pass "the listening error is reported at most once" || fail "reported $errors times"
  node_stop late
  node_stop n1
}

lab_test_main 2 -- "$@"
