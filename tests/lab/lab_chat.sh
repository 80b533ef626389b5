#!/usr/bin/env bash
# Headless nodes chat in the lab: a message with a picture from
# `quillmate-cli send`, a message to three hosts of which the second runs no
# node, broadcasts that reach every node (a longer one refused by the
# sender), and the automatic refusal of a Busy and an Away node, which the
# sender gets as a message; broadcasts are never refused.
#   QLM_CLI=path/to/quillmate-cli lab_chat.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=500,minute=100"

# quillmate-cli on HOST as n1 (n1's settings folder), its output in $QLM_LAB_DIR/NAME.out.
cli_as_n1() {
  local name=$1 host=$2
  shift 2
  labexec "$host" "$cli" --home "$QLM_LAB_DIR/home-n1" "$1" --nickname n1 "${@:2}" \
    >"$QLM_LAB_DIR/$name.out" 2>"$QLM_LAB_DIR/$name.err"
}

# count NAME REGEX: matching lines in the node's log.
count() { grep -cE -- "$2" "$QLM_LAB_DIR/$1.log"; }

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  node_start n1 1
  node_start n2 2
  expect_log n1 '"event":"network-confirmed"' "n1 listens"
  expect_log n2 '"event":"network-confirmed"' "n2 listens"

  # A 1 x 1 PNG travels inside the rich-text body.
  base64 -d >"$QLM_LAB_DIR/dot.png" <<<'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg=='
  local sha
  sha=$(sha256sum "$QLM_LAB_DIR/dot.png" | cut -d' ' -f1)
  if cli_as_n1 send1 1 send --to 10.77.0.2 "Hello from n1" --image "$QLM_LAB_DIR/dot.png" &&
     [ "$(cat "$QLM_LAB_DIR/send1.out")" = "10.77.0.2	OK" ]; then
    pass "send reports OK for n2"
  else
    fail "send to n2: $(cat "$QLM_LAB_DIR/send1.out" "$QLM_LAB_DIR/send1.err")"
  fi
  expect_log n2 "\"IPAddress\":\"10.77.0.1\".*\"NickName\":\"n1\".*\"Pictures\":\\[\\{\"Bytes\":[0-9]+,\"Format\":\"PNG\",\"SHA256\":\"$sha\"\\}\\].*\"Summary\":\"Hello from n1\\\\r\\\\n\".*\"Text\":\"Hello from n1.*\"event\":\"WM_PEER_MESSAGE\".*\"wparam\":0" \
    "n2 gets the message with its text and the picture's bytes"

  # Host 3 runs no node: its line is an error, the others still get theirs.
  local before
  before=$(count n2 '"Text":"To three.*"event":"WM_PEER_MESSAGE"')
  if cli_as_n1 send3 1 send --to 10.77.0.2,10.77.0.3,10.77.0.2 "To three"; then
    pass "send to three with one down exits 0"
  else
    fail "send to three exited $?: $(cat "$QLM_LAB_DIR/send3.err")"
  fi
  # Recipients are tried at once: their lines come in the order they end.
  if [ "$(wc -l <"$QLM_LAB_DIR/send3.out")" -eq 3 ] &&
     [ "$(grep -cx '10\.77\.0\.2	OK' "$QLM_LAB_DIR/send3.out")" -eq 2 ] &&
     grep -E '^10\.77\.0\.3	Error occurred when send message to 10\.77\.0\.3\. \(.+\)$' "$QLM_LAB_DIR/send3.out" >/dev/null; then
    pass "one line per recipient, the one without a node an error"
  else
    fail "send to three printed: $(tr '\n' ';' <"$QLM_LAB_DIR/send3.out")"
  fi
  local tries
  for ((tries = 0; tries < 50; tries++)); do
    [ "$(count n2 '"Text":"To three.*"event":"WM_PEER_MESSAGE"')" -ge $((before + 2)) ] && break
    sleep 0.1
  done
  [ "$(count n2 '"Text":"To three.*"event":"WM_PEER_MESSAGE"')" -eq $((before + 2)) ] &&
    pass "n2 gets both of its copies" || fail "n2 got $(count n2 '"Text":"To three') copies"

  # 3000 bytes in all arrive everywhere (the sender too, by multicast loopback).
  local body
  body="B3000$(head -c 2920 /dev/zero | tr '\0' 'x')"
  if cli_as_n1 bc1 1 broadcast "$body"; then pass "a 3000-byte broadcast goes out"; else
    fail "broadcast: $(cat "$QLM_LAB_DIR/bc1.err")"; fi
  expect_log n2 "\"NickName\":\"n1\".*\"Text\":\"B3000x+\".*\"event\":\"WM_PEER_BROADCAST\"" "n2 gets the broadcast"
  expect_log n1 "\"NickName\":\"n1\".*\"Text\":\"B3000x+\".*\"event\":\"WM_PEER_BROADCAST\"" "n1 gets its own broadcast"
  if cli_as_n1 bc2 1 broadcast "$(head -c 5000 /dev/zero | tr '\0' 'y')"; then
    fail "a 5000-byte broadcast was reported as sent"
  elif grep 'too long to broadcast' "$QLM_LAB_DIR/bc2.err" >/dev/null; then
    pass "a 5000-byte broadcast is refused by the sender"
  else
    fail "5000-byte broadcast: $(cat "$QLM_LAB_DIR/bc2.err")"
  fi

  # n2 turns Busy: a message is answered and dropped, a broadcast is not.
  node_cmd n2 "state 1"
  expect_log n1 '"NickName":"n2","OnlineState":1.*"event":"WM_PEER_STATE"' "n1 sees n2 Busy"
  cli_as_n1 bc3 1 broadcast "While busy" || fail "broadcast while busy: $(cat "$QLM_LAB_DIR/bc3.err")"
  expect_log n2 '"AutoReplied":false.*"Text":"While busy".*"event":"WM_PEER_BROADCAST"' "busy n2 still shows a broadcast"
  cli_as_n1 busy 1 send --to 10.77.0.2 "Are you there?" || fail "send to busy n2: $(cat "$QLM_LAB_DIR/busy.err")"
  expect_log n2 '"AutoReplied":true.*"Reply":"\[Auto-reply Message\]: Sorry, I.m busy now\.".*"ReplySent":true.*"Text":"Are you there\?' \
    "busy n2 answers the message automatically"
  expect_log n1 '"IPAddress":"10.77.0.2".*"NickName":"n2".*"Text":"\[Auto-reply Message\]: Sorry, I.m busy now\.\\r\\n".*"event":"WM_PEER_MESSAGE".*"wparam":1' \
    "n1 gets the refusal as a message"
  if [ "$(count n2 '"AutoReplied":false.*"Text":"Are you there')" -eq 0 ]; then
    pass "busy n2 drops the refused message"
  else
    fail "busy n2 delivered the message it refused"
  fi
  if [ "$(count n1 '"wparam":1')" -eq 1 ]; then
    pass "the broadcast was not refused"
  else
    fail "n1 got $(count n1 '"wparam":1') refusals"
  fi

  # A node that starts Away answers with the Away text.
  node_start n3 3 --state away
  expect_log n3 '"event":"network-confirmed"' "n3 listens"
  cli_as_n1 away 1 send --to 10.77.0.3 "Hello n3" || fail "send to away n3: $(cat "$QLM_LAB_DIR/away.err")"
  expect_log n1 '"NickName":"n3".*"Text":"\[Auto-reply Message\]: Sorry, I.m not at my desk\.\\r\\n".*"event":"WM_PEER_MESSAGE".*"wparam":1' \
    "n3, started Away, refuses with the Away text"

  for n in n1 n2 n3; do node_stop "$n"; done

  # The headless nodes kept what they received in their chat logs, the refused message excepted.
  if "$cli" --home "$QLM_LAB_DIR/home-n2" log list --type single --json >"$QLM_LAB_DIR/n2-log.json" 2>&1 &&
    grep -q 'Hello from n1' "$QLM_LAB_DIR/n2-log.json" && ! grep -q 'Are you there' "$QLM_LAB_DIR/n2-log.json"; then
    pass "n2 logged the message it showed and not the one it refused"
  else
    fail "n2's chat log: $(cat "$QLM_LAB_DIR/n2-log.json")"
  fi
  if "$cli" --home "$QLM_LAB_DIR/home-n2" log list --type broadcast --json 2>&1 | grep -q 'B3000x'; then
    pass "n2 logged the broadcast"
  else
    fail "n2 did not log the broadcast"
  fi
}

lab_test_main 3 -- "$@"
