#!/usr/bin/env bash
# Three hosts on one segment: multicast reaches every member and loops back to
# the sender, a broadcast to 255.255.255.255 reaches the others and comes back
# to the sender (what the network self-check relies on), a 5000-byte datagram
# arrives whole, and labprobe's safety net refuses what it must.
#   lab_smoke.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

checks() {
  local h
  for h in 1 2 3; do recv_start "mcast$h" "$h" --group "$kLabGroup" --timeout-ms 3000; done
  recv_ready mcast1 mcast2 mcast3
  send 1 --to "$kLabGroup" --ttl 1 --text "mcast-from-h1" || fail "h1 could not send to the group"
  expect_got mcast1 '^from=10\.77\.0\.1:[0-9]+ len=13 text=mcast-from-h1$' "h1 gets its own multicast (loopback)"
  expect_got mcast2 '^from=10\.77\.0\.1:[0-9]+ len=13 text=mcast-from-h1$' "multicast from h1 reaches h2"
  expect_got mcast3 '^from=10\.77\.0\.1:[0-9]+ len=13 text=mcast-from-h1$' "multicast from h1 reaches h3"

  for h in 1 2 3; do recv_start "bcast$h" "$h" --timeout-ms 3000; done
  recv_ready bcast1 bcast2 bcast3
  send 2 --to 255.255.255.255 --broadcast --text "bcast-from-h2" || fail "h2 could not broadcast"
  expect_got bcast2 '^from=10\.77\.0\.2:[0-9]+ len=13 text=bcast-from-h2$' "h2's broadcast comes back to h2"
  expect_got bcast1 '^from=10\.77\.0\.2:[0-9]+ len=13 text=bcast-from-h2$' "broadcast from h2 reaches h1"
  expect_got bcast3 '^from=10\.77\.0\.2:[0-9]+ len=13 text=bcast-from-h2$' "broadcast from h2 reaches h3"

  # Larger than the link's MTU: it crosses the bridge as IP fragments.
  recv_start big1 1 --group "$kLabGroup" --timeout-ms 3000
  recv_start big3 3 --timeout-ms 3000
  recv_ready big1 big3
  send 3 --to "$kLabGroup" --size 5000 || fail "h3 could not send 5000 bytes to the group"
  send 2 --to 10.77.0.3 --size 5000 || fail "h2 could not send 5000 bytes to h3"
  expect_got big1 '^from=10\.77\.0\.3:[0-9]+ len=5000 ' "a 5000-byte multicast datagram arrives whole"
  expect_got big3 '^from=10\.77\.0\.2:[0-9]+ len=5000 ' "a 5000-byte unicast datagram arrives whole"

  # The safety net, checked without sending anything (--dry-run stops after
  # the checks). In the calling namespace only 127.0.0.1 is allowed.
  local to
  for to in 10.77.0.2 "$kLabGroup" 255.255.255.255 127.0.0.2; do
    "$probe" send --dry-run --port "$kLabPort" --to "$to" 2>/dev/null
    [ $? -eq 2 ] && pass "labprobe refuses $to outside the lab" || fail "labprobe would send to $to outside the lab"
  done
  "$probe" send --dry-run --port "$kLabPort" --to 127.0.0.1 &&
    pass "labprobe allows 127.0.0.1 outside the lab" || fail "labprobe refuses 127.0.0.1 outside the lab"
  for to in 8.8.8.8 192.168.1.1 10.79.0.1 10.0.0.1; do
    send 1 --dry-run --to "$to" 2>/dev/null
    [ $? -eq 2 ] && pass "labprobe refuses $to inside the lab" || fail "labprobe would send to $to inside the lab"
  done
  for to in 10.77.0.2 10.78.0.2 "$kLabGroup" 255.255.255.255; do
    send 1 --dry-run --to "$to" && pass "labprobe allows $to inside the lab" || fail "labprobe refuses $to inside the lab"
  done
}

lab_test_main 3 -- "$@"
