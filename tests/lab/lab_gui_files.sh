#!/usr/bin/env bash
# Files between two desktop programs on Xvfb (Alice on host 1, Bruno on host
# 2, who answers offers by hand), driven with real X input, and a headless
# sender n3 on host 3:
# - Alice pastes two files and a folder into her file window and sends them;
#   Bruno's queue presents the offer while n3's later offer waits behind it;
#   Bruno accepts in the receive dialog; every file arrives byte-identical,
#   the folder unpacked; Alice's window reports success. Bruno declines n3.
# - A 300 MiB file followed by a small one: Alice's progress dialog shows the
#   bytes going; she cancels; no file is left at Bruno's and both say so.
# Windows are read from their QUILLMATE_STATE_DUMP files.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_gui_files.sh LABPROBE
set -u -o pipefail
QLM_LAB_TIMEOUT=150
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="$kGuiTimings"

# open_offer NAME SENDER: "View Detail" on the notification of SENDER's offer;
# prints the receive dialog's id.
open_offer() {
  local name=$1 sender=$2 note
  note=$(window_id "$name" TQueueNotificationWindow '') &&
    dump_line "$name" "^notification\t$note\tFile Transfer Request From: $sender\t" 5 >/dev/null ||
    { fail "$name shows no notification of $sender's offer: $(grep -P '^(notification|queue)' "$QLM_LAB_DIR/$name.state")"; return 1; }
  click_part "$name" "$note" label lblViewDetail
  window_id "$name" TReceiveRequestDialog '.*' ||
    { fail "View Detail opened no receive dialog at $name's"; return 1; }
}

# new_file_window: Alice's file window to Bruno, from the main window's File button.
new_file_window() {
  local main at
  main=$(window_id gA TMainForm 'Quillmate - Alice') || return 1
  at=$(dump_line gA "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tBruno\$" | cut -f5)
  click gA "$main" "$at"
  click_part gA "$main" button tbtnSendFile
  dump_gone gA '^window\t0x[0-9a-f]+\tTFileForm\t' 1 2>/dev/null
  window_id gA TFileForm 'Send file\(s\) to Bruno'
}

# Bruno's stored copy of each source file is byte-identical.
same_files() {
  local from=$1 to=$2 rel bad=""
  while read -r rel; do
    [ "$(sha256sum <"$from/$rel")" = "$(sha256sum <"$to/$rel" 2>/dev/null)" ] || bad="$bad $rel"
  done < <(cd "$from" && find . -type f | sort)
  [ -z "$bad" ] || { echo "differ or missing:$bad"; return 1; }
}

checks() {
  gui_lab_ready || return
  local recv="$QLM_LAB_DIR/recv" src="$QLM_LAB_DIR/src"
  gui_start gA 1 Alice CloseAfterSendFile=0 || return
  gui_start gB 2 Bruno AutoFileTrans=0 "ArrivedFilesFolder=$recv" || return
  mkdir -p "$src/one" "$src/docs/sub" "$src/two" "$src/n3"
  printf 'hello\n' >"$src/one/a.txt"
  head -c 3000000 /dev/urandom >"$src/one/b.bin"
  printf 'c\n' >"$src/docs/c.txt"
  head -c 40000 /dev/urandom >"$src/docs/sub/d.bin"
  : >"$src/docs/sub/empty"
  truncate -s 300M "$src/two/big.bin"
  printf 'small\n' >"$src/two/small.txt"
  printf 'from n3\n' >"$src/n3/n3.txt"

  expect_dump gA "^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\tBruno\$" "Alice's list shows Bruno" 20 || return
  expect_dump gB "^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\tAlice\$" "Bruno's list shows Alice" 20 || return

  # Two files and a folder, pasted into Alice's file window.
  local form
  form=$(new_file_window) || { fail "the File button opened no file window to Bruno"; return; }
  pass "the File button opens a file window to Bruno"
  paste_files gA "$form" "$src/one/a.txt" "$src/one/b.bin" "$src/docs"
  expect_dump gA "^row\t$form\tlvFileList\t2\t[0-9,]+\tdocs\.zip \|" "the pasted folder is packed into a third row" || return
  expect_dump gA "^label\t$form\tsbTotal\t[0-9,]+\tTotal 3 file\(s\)\.\$" "the window counts three files"
  click_part gA "$form" button tbtnSendFile
  expect_dump gA "^window\t0x[0-9a-f]+\tTRequestWaitDialog\t" "Alice waits for Bruno's answer"
  expect_dump gB "^queue\t0\t3\tAlice\tFile Transfer Request From: Alice [^\t]+ \+2 more \([0-9,.]+ KB\)\$" "Bruno's queue holds Alice's offer"
  expect_dump gB "^tray\t\d\t1\tfile\t\d\t300\tFile Transfer Request From: Alice [^\t]+ \+2 more \([0-9,.]+ KB\)\$" "Bruno's tray animates the file frames"

  # n3's offer waits behind it.
  labexec 3 timeout 60 "$cli" --home "$QLM_LAB_DIR/home-n3" sendfile --nickname n3 --to 10.77.0.2 "$src/n3/n3.txt" \
    >"$QLM_LAB_DIR/n3.out" 2>&1 &
  local n3pid=$!
  expect_dump gB "^queue\t1\t3\tn3\tFile Transfer Request From: n3 n3\.txt \(1 KB\)\$" "n3's offer waits second in Bruno's queue"
  dump_line gB "^tray\t\d\t1\tfile\t\d\t300\tFile Transfer Request From: Alice [^\t]+ \+2 more \([0-9,.]+ KB\)\$" 1 >/dev/null &&
    pass "the tray still names Alice" || fail "the tray moved on: $(head -n 1 "$QLM_LAB_DIR/gB.state")"

  local dialog
  dialog=$(open_offer gB Alice) || return
  expect_dump gB "^label\t$dialog\tlblText\t" "Bruno's receive dialog is shown"
  click_part gB "$dialog" button btnOK
  expect_dump gA "^label\t$form\t[^\t]*\t[0-9,]+\tAll sent successfully\.\$" "Alice's window reports all sent" 30
  local got="$recv/From_Alice($(hostname | cut -c1-15))"
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    same_files "$src/one" "$got" >/dev/null && same_files "$src/docs" "$got/docs" >/dev/null && break
    sleep 0.1
  done
  local why
  if why=$(same_files "$src/one" "$got") && why=$(same_files "$src/docs" "$got/docs"); then
    pass "every file arrives byte-identical, the folder unpacked with its empty file"
  else
    fail "received files: $why ($(cd "$recv" 2>/dev/null && find . | tr '\n' ' '))"
  fi
  [ ! -e "$got/docs.zip" ] && pass "the archive is gone once unpacked" || fail "docs.zip was left at Bruno's"
  expect_dump gB "^window\t0x[0-9a-f]+\tTFileForm\t[^\t]*\tFile\(s\) from Alice\t" "Bruno's window lists what came"

  # The next offer is presented now; Bruno declines it.
  dialog=$(open_offer gB n3) || return
  click_part gB "$dialog" button btnCancel
  wait "$n3pid"
  [ $? -eq 1 ] && grep '^declined by 10.77.0.2' "$QLM_LAB_DIR/n3.out" >/dev/null && pass "n3 hears that Bruno declined" ||
    fail "n3's sendfile: $(cat "$QLM_LAB_DIR/n3.out")"
  dump_gone gB '^queue\t' 5 && pass "Bruno's queue is empty" || fail "Bruno's queue: $(grep '^queue' "$QLM_LAB_DIR/gB.state")"

  # A big file, cancelled while it goes. The lab link is slowed so that the
  # progress can be watched (host 1's side only; inside the lab).
  labexec 1 tc qdisc replace dev eth0 root tbf rate 600mbit burst 256kb latency 50ms 2>/dev/null ||
    echo "note: no tbf qdisc; the big file goes at full speed"
  # The File button brings the open window to Bruno forward: empty its list first.
  [ "$(new_file_window)" = "$form" ] && pass "the File button brings Alice's window to Bruno forward" ||
    fail "a second file window to Bruno opened"
  keys gA "$form" ctrl+a Delete
  expect_dump gA "^label\t$form\tsbTotal\t[0-9,]+\tTotal 0 file\(s\)\.\$" "Ctrl+A, Delete empties the list"
  paste_files gA "$form" "$src/two/big.bin" "$src/two/small.txt"
  expect_dump gA "^label\t$form\tsbTotal\t[0-9,]+\tTotal 2 file\(s\)\.\$" "the window lists the big file and a small one"
  touch "$QLM_LAB_DIR/marker"
  click_part gA "$form" button tbtnSendFile
  dialog=$(open_offer gB Alice) || return
  click_part gB "$dialog" button btnOK
  local progress
  progress=$(window_id gA TSendProgressDialog '.*' 20) || { fail "no progress dialog at Alice's"; return; }
  expect_dump gA "^label\t$progress\tlblLine1\t[0-9,]+\tCurrent: 1 / Total: 2\$" "the progress dialog names the first of two files"
  if dump_line gA "^progress\t$progress\tpbProgress\t[1-9]\d*\t314572800\$" 10 >/dev/null; then
    pass "the bar shows bytes of the big file going"
  else
    fail "progress: $(grep -P "^progress\t$progress" "$QLM_LAB_DIR/gA.state")"
  fi
  click_part gA "$progress" button btnCancel
  local box
  box=$(dump_line gA "^label\t0x[0-9a-f]+\t[^\t]*\t[0-9,]+\tAre you sure to cancel the file transfer\?\$" 5 | cut -f2) ||
    { fail "Cancel asked nothing"; return; }
  # The stream waits while the question is open: part of the big file is at Bruno's.
  if [ -n "$(find "$recv" -type f -newer "$QLM_LAB_DIR/marker" -size +0)" ]; then
    pass "Alice cancels with part of the batch at Bruno's"
  else
    fail "nothing of the big file had arrived when Alice cancelled"
  fi
  click_caption gA "$box" '&Yes'
  expect_dump gA "^label\t$form\t[^\t]*\t[0-9,]+\tSending canceled\.\$" "Alice's window says the sending was canceled" 60
  expect_dump gB "^label\t0x[0-9a-f]+\tlblText\t[0-9,]+\tAlice has terminated the file transport, no file will be received\." \
    "Bruno's dialog says no file will be received" 20
  for ((tries = 0; tries < 50; tries++)); do
    [ -z "$(find "$recv" -name 'big*' -o -name 'small*')" ] && break
    sleep 0.1
  done
  [ -z "$(find "$recv" -name 'big*' -o -name 'small*')" ] && pass "nothing of the cancelled batch is left at Bruno's" ||
    fail "left at Bruno's: $(find "$recv" -name 'big*' -o -name 'small*' | xargs ls -l)"
  labexec 1 tc qdisc del dev eth0 root 2>/dev/null
  return 0
}

lab_test_main 3 -- "$@"
