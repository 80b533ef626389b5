#!/usr/bin/env bash
# Two desktop programs on Xvfb (Alice on host 1, Bruno on host 2), a headless
# node n3 on host 3 and a Busy one, n4, on host 4, driven with real X input:
# - n3 sends Alice a message with a picture: her tray animates (message
#   frames, 300 ms), the queue notification names n3; "View Detail" opens a
#   window with the text and the picture; her reply reaches n3.
# - Alice writes to Bruno in the chat layout with a pasted picture and an
#   emoticon; Bruno's window shows the text and both pictures.
# - Alice's broadcast reaches Bruno and n3; n4 refuses her message and she
#   reads the automatic answer in her open chat with n4.
# Windows are read from their QUILLMATE_STATE_DUMP files.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_gui_chat.sh LABPROBE
set -u -o pipefail
QLM_LAB_TIMEOUT=150
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="$kGuiTimings"
readonly kBusyReply="\\[Auto-reply Message\\]: Sorry, I'm busy now\\."

# The tray shows frames a and b of the message animation at 300 ms.
expect_frames() {
  local name=$1 frame
  for frame in 1 3; do
    dump_line "$name" "^tray\t\d\t1\tmessage\t$frame\t300\t" 5 >/dev/null ||
      { fail "$name's tray never showed message frame $frame: $(head -n 1 "$QLM_LAB_DIR/$name.state")"; return 1; }
  done
  pass "$name's tray animates the message frames every 300 ms"
}

# open_first NAME SENDER: "View Detail" on the queue notification that names SENDER.
open_first() {
  local name=$1 sender=$2 id
  id=$(window_id "$name" TQueueNotificationWindow '') || { fail "$name shows no queue notification"; return 1; }
  dump_line "$name" "^notification\t$id\t[^\t]*From: $sender\t" 5 >/dev/null ||
    { fail "$name's notification does not name $sender: $(grep '^notification' "$QLM_LAB_DIR/$name.state")"; return 1; }
  pass "$name's queue notification names $sender"
  click_part "$name" "$id" label lblViewDetail
}

# A line of a window's text box: "text ID OBJECT PICTURES X,Y TEXT".
text_of() { dump_line "$1" "^text\t$2\t$3\t$4\t[^\t]*\t.*$5" "${6:-10}"; }

checks() {
  gui_lab_ready || return
  gui_start gA 1 Alice || return
  gui_start gB 2 Bruno || return
  node_start n3 3
  node_start n4 4 --state busy
  base64 -d >"$QLM_LAB_DIR/dot.png" <<<'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg=='
  base64 -d >"$QLM_LAB_DIR/dot.gif" <<<'R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw=='

  local who
  for who in Bruno n3 n4; do
    expect_dump gA "^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\t$who\$" "Alice's list shows $who" 20 || return
  done
  expect_dump gB "^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\tAlice\$" "Bruno's list shows Alice" 20 || return

  # n3 -> Alice: queued, animated, opened from the notification, answered.
  if labexec 3 "$cli" --home "$QLM_LAB_DIR/home-n3" send --nickname n3 --to 10.77.0.1 "Hello Alice" \
    --image "$QLM_LAB_DIR/dot.png" >"$QLM_LAB_DIR/send.out" 2>&1; then
    pass "n3 sends Alice a message with a picture"
  else
    fail "n3's send: $(cat "$QLM_LAB_DIR/send.out")"
  fi
  expect_dump gA "^queue\t0\t1\tn3\tMessage From: n3\$" "Alice's queue holds n3's message"
  expect_dump gA "^tray\t\d\t1\tmessage\t\d\t300\tMessage From: n3\$" "Alice's tray hint names n3 while animating"
  expect_frames gA
  open_first gA n3 || return
  local read
  read=$(window_id gA TNewMsgForm n3) || { fail "no message window for n3 opened"; return; }
  pass "View Detail opens a message window for n3"
  text_of gA "$read" RichShow 1 "Hello Alice" >/dev/null &&
    pass "the window shows n3's text and one picture" ||
    fail "n3's window: $(grep -P "^text\t$read" "$QLM_LAB_DIR/gA.state")"
  dump_gone gA '^queue\t' 5 && dump_line gA '^tray\t\d\t0\tnone\t-1\t' 5 >/dev/null &&
    pass "the queue is empty and the tray idle again" || fail "after opening: $(grep -P '^(tray|queue)' "$QLM_LAB_DIR/gA.state")"
  click_part gA "$read" text RichED
  type_text gA "$read" "Hi n3, got it"
  keys gA "$read" ctrl+Return
  expect_log n3 '"IPAddress":"10.77.0.1".*"NickName":"Alice".*"Text":"Hi n3, got it.*"event":"WM_PEER_MESSAGE"' \
    "Alice's reply reaches n3"
  text_of gA "$read" RichShow 1 "Hi n3, got it" 5 >/dev/null &&
    pass "the reply stands in Alice's chat pane" || fail "Alice's pane lacks the reply"

  # Alice -> Bruno in the chat layout, with a pasted picture and an emoticon.
  local main at chat grid
  main=$(window_id gA TMainForm 'Quillmate - Alice') || { fail "Alice's main window is not shown"; return; }
  at=$(dump_line gA "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tBruno\$" | cut -f5)
  click gA "$main" "$at" click --repeat 2 --delay 80 1
  chat=$(window_id gA TNewMsgForm Bruno) || { fail "double-clicking Bruno opens no message window"; return; }
  pass "a double click on Bruno opens his chat window"
  click_part gA "$chat" text RichED
  type_text gA "$chat" "Look at this "
  # A pasted picture file (GIF, JPEG, BMP, icon) goes into the text.
  paste_files gA "$chat" "$QLM_LAB_DIR/dot.gif"
  text_of gA "$chat" RichED 1 "Look at this" 5 >/dev/null && pass "the pasted picture stands in Alice's input" ||
    fail "Alice's input after the paste: $(grep -P "^text\t$chat\tRichED" "$QLM_LAB_DIR/gA.state")"
  click_part gA "$chat" button tbEmotion
  grid=$(window_id gA TQLMEmotions '') || { fail "the emoticon grid did not open"; return; }
  click gA "$grid" 12,12
  text_of gA "$chat" RichED 2 "Look at this" 5 >/dev/null && pass "the emoticon stands in Alice's input" ||
    fail "Alice's input after the emoticon: $(grep -P "^text\t$chat\tRichED" "$QLM_LAB_DIR/gA.state")"
  keys gA "$chat" ctrl+Return
  text_of gA "$chat" RichShow 2 "Look at this" >/dev/null && pass "Alice's chat pane shows what she sent" ||
    fail "Alice's pane: $(grep -P "^text\t$chat\tRichShow" "$QLM_LAB_DIR/gA.state")"
  expect_dump gB "^queue\t0\t1\tAlice\tMessage From: Alice\$" "Bruno's queue holds Alice's message"
  open_first gB Alice || return
  read=$(window_id gB TNewMsgForm Alice) || { fail "no message window for Alice opened at Bruno's"; return; }
  text_of gB "$read" RichShow 2 "Look at this" >/dev/null && pass "Bruno's window shows the text, the picture and the emoticon" ||
    fail "Bruno's window: $(grep -P "^text\t$read" "$QLM_LAB_DIR/gB.state")"

  # Alice's broadcast (Tools, Broadcast Message...) reaches Bruno and n3.
  keys gA "$main" alt+t b
  local cast
  cast=$(window_id gA TNewMsgForm Broadcast) || { fail "Tools - Broadcast opened no window"; return; }
  pass "Alt+T, B opens the broadcast window"
  click_part gA "$cast" text RichED
  type_text gA "$cast" "Lunch at noon"
  keys gA "$cast" ctrl+Return
  expect_log n3 '"NickName":"Alice".*"Text":"Lunch at noon.*"event":"WM_PEER_BROADCAST"' "n3 gets Alice's broadcast"
  expect_dump gB "^queue\t0\t0\tAlice\tBroadcast Message From: Alice\$" "Bruno's queue holds Alice's broadcast"
  expect_dump gB "^tray\t\d\t1\tmessage\t\d\t300\tBroadcast Message From: Alice\$" "Bruno's tray names the broadcast"
  open_first gB Alice || return
  read=$(window_id gB TNewMsgForm 'Broadcast message from Alice') || { fail "no broadcast window at Bruno's"; return; }
  text_of gB "$read" '[^\t]*' 0 "Lunch at noon" >/dev/null && pass "Bruno reads the broadcast" ||
    fail "Bruno's broadcast window: $(grep -P "^text\t$read" "$QLM_LAB_DIR/gB.state")"

  # Alice hears her own broadcast too; "Ignore" drops it unopened.
  expect_dump gA "^queue\t0\t0\tAlice\tBroadcast Message From: Alice\$" "Alice's queue holds her own broadcast"
  local note
  note=$(window_id gA TQueueNotificationWindow '') && click_part gA "$note" label lblIgnore
  dump_gone gA '^queue\t' 5 && dump_gone gA '^window\t0x[0-9a-f]+\tTQueueNotificationWindow\t' 5 &&
    pass "Ignore empties Alice's queue and closes the notification" ||
    fail "after Ignore: $(grep -P '^(queue|window)' "$QLM_LAB_DIR/gA.state")"

  # Busy n4 refuses Alice's message. The refusal carries no user id; it joins
  # her open chat with n4 (matched by computer name and address), not the queue.
  at=$(dump_line gA "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tn4\$" | cut -f5)
  click gA "$main" "$at" click --repeat 2 --delay 80 1
  chat=$(window_id gA TNewMsgForm n4) || { fail "double-clicking n4 opens no message window"; return; }
  click_part gA "$chat" text RichED
  type_text gA "$chat" "Are you there?"
  keys gA "$chat" ctrl+Return
  expect_log n4 '"AutoReplied":true.*"Text":"Are you there\?' "busy n4 refuses Alice's message"
  expect_dump gA "^text\t$chat\tRichShow\t0\t[^\t]*\t.*n4 .*$kBusyReply" "Alice's open chat with n4 shows its automatic answer"
  if grep -qP "^queue\t0\t1\tn4\t" "$QLM_LAB_DIR/gA.state"; then
    fail "n4's answer waits in Alice's queue besides her open chat"
  else
    pass "n4's answer does not wait in Alice's queue"
  fi

  for who in n3 n4; do node_stop "$who"; done
}

lab_test_main 4 -- "$@"
