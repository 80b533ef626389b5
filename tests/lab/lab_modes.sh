#!/usr/bin/env bash
# The lab's special hosts: one whose own broadcasts never come back, one that
# cannot broadcast at all, two with a second adapter on 10.78.0.0/24, and one
# answering on many extra addresses.
#   lab_modes.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

checks() {
  # h1: its broadcast leaves but does not loop back; its multicast still does.
  recv_start own1 1 --timeout-ms 1000
  recv_start peer2 2 --timeout-ms 3000
  recv_ready own1 peer2
  send 1 --to 255.255.255.255 --broadcast --text "self-check" || fail "h1 could not broadcast"
  expect_got peer2 '^from=10\.77\.0\.1:[0-9]+ len=10 text=self-check$' "h1's broadcast still reaches h2"
  expect_nothing own1 "h1's broadcast does not come back to h1"
  recv_start bcast1 1 --timeout-ms 3000
  recv_ready bcast1
  send 2 --to 255.255.255.255 --broadcast --text "from-h2" || fail "h2 could not broadcast"
  expect_got bcast1 '^from=10\.77\.0\.2:[0-9]+ len=7 text=from-h2$' "h1 still gets the broadcasts of others"
  recv_start mcast1 1 --group "$kLabGroup" --timeout-ms 3000
  recv_ready mcast1
  send 1 --to "$kLabGroup" --text "own-mcast" || fail "h1 could not send to the group"
  expect_got mcast1 '^from=10\.77\.0\.1:[0-9]+ len=9 text=own-mcast$' "h1's multicast still loops back"

  # h3: sending to 255.255.255.255 fails; multicast works.
  local err
  err=$(send 3 --to 255.255.255.255 --broadcast --text "x" 2>&1)
  [ $? -eq 1 ] && [[ $err == *"No route to host"* ]] &&
    pass "h3 cannot broadcast" || fail "h3 could broadcast: $err"
  recv_start mcast2 2 --group "$kLabGroup" --timeout-ms 3000
  recv_ready mcast2
  send 3 --to "$kLabGroup" --text "h3-mcast" || fail "h3 could not send to the group"
  expect_got mcast2 '^from=10\.77\.0\.3:[0-9]+ len=8 text=h3-mcast$' "h3's multicast reaches h2"

  # h1 and h2 share the second segment.
  if labexec 1 ip -o addr show dev eth1 | grep 'inet 10.78.0.1/24' >/dev/null &&
    labexec 2 ip -o addr show dev eth1 | grep 'inet 10.78.0.2/24' >/dev/null &&
    ! labexec 3 ip link show dev eth1 >/dev/null 2>&1; then
    pass "h1 and h2 have eth1 on 10.78.0.0/24, h3 has not"
  else
    fail "second segment not as asked"
  fi
  recv_start second2 2 --timeout-ms 3000
  recv_ready second2
  send 1 --to 10.78.0.2 --text "over-eth1" || fail "h1 could not send to 10.78.0.2"
  expect_got second2 '^from=10\.78\.0\.1:[0-9]+ len=9 text=over-eth1$' "h1 reaches h2 over the second segment"

  # h2: 300 extra addresses, 10.77.1.1 .. 10.77.2.46.
  local list="$QLM_LAB_DIR/extra-addrs-h2"
  if [ "$(wc -l <"$list")" -eq 300 ] && [ "$(head -1 "$list")" = 10.77.1.1 ] &&
    [ "$(tail -1 "$list")" = 10.77.2.46 ] && [ "$(labexec 2 ip -o addr show dev eth0 | grep -c 'inet 10\.77\.[12]\.')" -eq 300 ]; then
    pass "h2 has the 300 extra addresses of $list"
  else
    fail "extra addresses of h2 not as asked"
  fi
  recv_start extra2 2 --bind 10.77.2.46 --timeout-ms 3000
  recv_start from1 1 --timeout-ms 3000
  recv_ready extra2 from1
  send 1 --to 10.77.2.46 --text "to-extra" || fail "h1 could not send to 10.77.2.46"
  send 2 --from 10.77.1.7 --to 10.77.0.1 --text "from-extra" || fail "h2 could not send from 10.77.1.7"
  expect_got extra2 '^from=10\.77\.0\.1:[0-9]+ len=8 text=to-extra$' "an extra address of h2 is reachable"
  expect_got from1 '^from=10\.77\.1\.7:[0-9]+ len=10 text=from-extra$' "h2 sends from an extra address"
}

lab_test_main 3 --no-self-broadcast 1 --no-broadcast-route 3 --second-link 1,2 --extra-addrs 2 300 -- "$@"
