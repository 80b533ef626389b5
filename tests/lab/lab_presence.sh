#!/usr/bin/env bash
# Headless nodes (quillmate-cli listen) on five lab hosts: they find each
# other, see state and nickname changes and logoffs, drop oversized datagrams,
# accept lower-case type names, never log on without their self-check echo,
# and list a two-adapter peer under the address of the shared subnet.
#   QLM_CLI=path/to/quillmate-cli lab_presence.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
# Short intervals: load 50 ms, self-check every 300 ms, presence check every 500 ms.
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=500,minute=100"

# The last online list a node printed, as "nick@ip self" lines, sorted.
list_of() {
  local name=$1 before
  before=$(grep -c '"event":"online-list"' "$QLM_LAB_DIR/$name.log")
  node_cmd "$name" list
  for ((tries = 0; tries < 50; tries++)); do
    [ "$(grep -c '"event":"online-list"' "$QLM_LAB_DIR/$name.log")" -gt "$before" ] && break
    sleep 0.1
  done
  grep '"event":"online-list"' "$QLM_LAB_DIR/$name.log" | tail -n 1 |
    grep -o '{[^{}]*"NickName":"[^"]*"[^{}]*}' |
    sed -E 's/.*"IPAddress":"([^"]*)".*"IsSelf":(true|false).*"NickName":"([^"]*)".*/\3@\1 \2/' | sort
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  # Host 5 keeps only a /32 on the shared link and meets host 1 on a second
  # subnet: its list must show host 1 under 10.78.0.1.
  labexec 5 ip addr del 10.77.0.5/24 dev eth0
  labexec 5 ip addr add 10.77.0.5/32 dev eth0
  labexec 5 ip route replace default dev eth0

  local n
  # n4 listens before the others announce themselves.
  node_start n4 4
  wait_log n4 '"event"' 1 || sleep 0.3
  for n in 1 2 3; do node_start "n$n" "$n"; done
  for n in 1 2 3; do expect_log "n$n" '"event":"network-confirmed"' "n$n hears its own self-check"; done

  local id1 id2 id3
  for n in 1 2 3; do
    for m in 1 2 3; do
      wait_log "n$n" "\"NickName\":\"n$m\".*\"event\":\"WM_PEER_LOGON(REPLY)?\"" ||
        fail "n$n never heard of n$m"
    done
  done
  for n in 1 2 3; do
    local rows
    # n4 is listed too: it never announces itself but answers logons.
    rows=$(list_of "n$n" | grep -v '^n4@')
    if [ "$rows" = "$(printf 'n1@10.77.0.1 %s\nn2@10.77.0.2 %s\nn3@10.77.0.3 %s' \
        "$([ $n = 1 ] && echo true || echo false)" "$([ $n = 2 ] && echo true || echo false)" \
        "$([ $n = 3 ] && echo true || echo false)")" ]; then
      pass "n$n lists n1, n2, n3 once each, itself marked"
    else
      fail "n$n lists: $(echo "$rows" | tr '\n' ';')"
    fi
  done

  node_cmd n1 "state 1"
  expect_log n2 '"NickName":"n1","OnlineState":1.*"event":"WM_PEER_STATE"' "n2 sees n1 turn Busy"
  expect_log n3 '"NickName":"n1","OnlineState":1.*"event":"WM_PEER_STATE"' "n3 sees n1 turn Busy"
  node_cmd n2 "nickname Zed,"
  expect_log n1 '"NickName":"Zed".*"event":"WM_PEER_NICKNAME"' "n1 sees n2's new nickname (comma removed)"
  expect_log n3 '"NickName":"Zed".*"event":"WM_PEER_NICKNAME"' "n3 sees n2's new nickname"

  node_stop n3
  expect_log n1 '"NickName":"n3".*"event":"WM_PEER_LOGOFF"' "n1 gets n3's logoff"
  expect_log n1 '"event":"notification".*"text":"n3 Offline"' "n1 announces n3 Offline"
  if [ "$(list_of n1 | grep -c 'n3@')" -eq 0 ] && [ "$(list_of n2 | grep -c 'n3@')" -eq 0 ]; then
    pass "n3 is gone from the others' lists"
  else
    fail "n3 is still listed: $(list_of n1 | tr '\n' ';')"
  fi

  # `who` on the freed host lists the running nodes and then logs off again.
  local who_out
  who_out=$(labexec 3 "$cli" --home "$QLM_LAB_DIR/home-who" who --wait 1 --nickname Visitor 2>&1)
  if grep -Eq 'n1.*10\.77\.0\.1' <<<"$who_out" && grep -Eq 'Zed.*10\.77\.0\.2' <<<"$who_out" &&
     grep -Eq 'Visitor.*10\.77\.0\.3' <<<"$who_out"; then
    pass "who on host 3 lists n1, Zed and itself"
  else
    fail "who printed: $(tr '\n' ';' <<<"$who_out")"
  fi
  expect_log n1 '"NickName":"Visitor".*"event":"WM_PEER_LOGOFF"' "n1 gets who's logoff"

  # A LAN without a gateway: no route for the group, yet the node listens (it
  # joins on its interface) and answers a logon over the connected subnet.
  labexec 3 ip route del default
  node_start nr 3
  # Its log says nothing when it starts listening, so n1 refreshes until it is heard.
  local tries
  for ((tries = 0; tries < 8; tries++)); do
    node_cmd n1 refresh
    wait_log nr '"NickName":"n1".*"event":"WM_PEER_LOGON"' 1 && break
  done
  expect_log nr '"NickName":"n1".*"event":"WM_PEER_LOGON"' "a node without a default route hears n1's logon"
  expect_log n1 '"NickName":"nr".*"event":"WM_PEER_LOGONREPLY"' "n1 gets its reply"
  if grep -q "Error occured when starting" "$QLM_LAB_DIR/nr.log" "$QLM_LAB_DIR/nr.err"; then
    fail "the node without a default route did not listen: $(cat "$QLM_LAB_DIR/nr.err")"
  fi
  node_stop nr

  # A 5000-byte datagram is dropped whole, the next one handled; type names in any case.
  send 3 --to 10.77.0.1 --text "QLM_CHECKSIGNALREPLY	2	BIG$(printf 'x%.0s' $(seq 1 4980))" ||
    fail "could not send the big datagram"
  send 3 --to 10.77.0.1 --text "qlm_checksignalreply	2	LOWERCASEID" || fail "could not send the small datagram"
  expect_log n1 '"UserId":"LOWERCASEID".*"event":"WM_PEER_SIGNALREPLY"' "n1 handles the datagram after a 5000-byte one, type in lower case"
  if grep '"UserId":"BIGx' "$QLM_LAB_DIR/n1.log" >/dev/null; then fail "n1 handled a 5000-byte datagram"; else pass "n1 drops the 5000-byte datagram"; fi
  send 3 --to 10.77.0.1 --text "QLM_LOGON" && send 3 --to 10.77.0.1 --text "QLM_LOGON	x	1033" &&
    send 3 --to 10.77.0.1 --text "QLM_CHECKSIGNALREPLY	2	AFTERJUNK"
  expect_log n1 '"UserId":"AFTERJUNK"' "n1 ignores a datagram without tab and one with a letter in field 1, and goes on"

  # Host 4's broadcasts never come back to it: no confirmation, no logon.
  sleep 1
  if grep '"event":"network-confirmed"' "$QLM_LAB_DIR/n4.log" >/dev/null; then
    fail "n4 confirmed a network whose broadcast does not come back"
  else
    pass "n4 never confirms its network"
  fi
  if grep '"NickName":"n4".*"event":"WM_PEER_LOGON"' "$QLM_LAB_DIR/n1.log" >/dev/null; then
    fail "n4 logged on without its self-check"
  else
    pass "n4 never logs on"
  fi
  expect_log n4 '"NickName":"n1".*"event":"WM_PEER_LOGON"' "n4 still handles what others send"

  node_start n5 5
  expect_log n5 '"event":"network-confirmed"' "n5 hears its own self-check"
  expect_log n5 '"NickName":"n1".*"IPAddress":"10.78.0.1".*"event":"WM_PEER_LOGONREPLY"|"IPAddress":"10.78.0.1".*"NickName":"n1"' \
    "n5 lists the two-adapter n1 under its address on the shared subnet"

  for n in n1 n2 n4 n5; do node_stop "$n"; done
}

lab_test_main 5 --no-self-broadcast 4 --second-link 1,5 -- "$@"
