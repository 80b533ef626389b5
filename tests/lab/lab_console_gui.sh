#!/usr/bin/env bash
# The console window of the desktop program (on Xvfb, driven with xdotool)
# sends to Samba's smbd in the lab: opened from Tools, two names added with
# "&Add...", one of which nobody has; the message arrives byte for byte, only
# the failed row stays, and its error box names the failure.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_console_gui.sh LABPROBE
set -u -o pipefail
export QLM_LAB_TIMEOUT=${QLM_LAB_TIMEOUT:-150}
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labsamba_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}

# add_name NAME WINDOW: "&Add...", the name typed into the computer chooser's
# name box (it has the focus), Enter.
add_name() {
  local box
  click_caption g3 "$2" '&Add...' || return 1
  box=$(window_id g3 TComputerChooser '.*') || { fail "no computer chooser after &Add..."; return 1; }
  gui_x g3 xdotool windowfocus --sync "$box" sleep 0.2 type --delay 20 -- "$1"
  gui_x g3 xdotool key --delay 50 Return
}

checks() {
  gui_lab_ready || return
  samba_start latin 1 PEERLAT CP1252
  samba_ready latin 1 PEERLAT || { fail "Samba did not come up"; return; }
  gui_start g3 3 Carol || return
  local main console text="Straße zum Café, déjà vu"
  main=$(window_id g3 TMainForm '.*' 20) || { fail "the main window did not show"; return; }
  keys g3 "$main" alt+t c
  console=$(window_id g3 TConsoleForm 'Send Console Message') ||
    { fail "Tools > Send Console Message... opened no window: $(grep '^window' "$QLM_LAB_DIR/g3.state")"; return; }
  pass "Tools > Send Console Message... opens the console window"
  expect_dump g3 "^label\t$console\tlblIndicator\t[0-9,]+\tChars: 0 / Max Chars: 885\$" "the counter starts at 0 of 885"

  click_part g3 "$console" text mmMessage && paste_text g3 "$console" "$text"
  expect_dump g3 "^label\t$console\tlblIndicator\t[0-9,]+\tChars: 24 / Max Chars: 885\$" "the counter follows the text"
  add_name PEERLAT "$console"
  add_name NOSUCHPC "$console"
  expect_dump g3 "^row\t$console\tlbList\t1\t[0-9,]+\tNOSUCHPC\$" "both names are rows"
  click_caption g3 "$console" '&Send' || return

  local stored=""
  for ((tries = 0; tries < 100; tries++)); do
    for f in "$QLM_LAB_DIR/latin/msgs/msg-from-"*.txt; do [ -e "$f" ] && stored=$f; done
    [ -n "$stored" ] && break
    sleep 0.1
  done
  printf '%s' "$text" >"$QLM_LAB_DIR/text.txt"
  if [ -n "$stored" ] && cmp -s "$stored" "$QLM_LAB_DIR/text.txt"; then
    pass "the window's message reaches Samba byte for byte"
  else
    fail "stored: $(od -c "${stored:-/dev/null}" | head -3)"
  fi
  local box
  if box=$(window_id g3 QMessageBox '.*' 15); then
    expect_dump g3 "^label\t$box\t[^\t]*\t[0-9,]+\t.*could not be found" "the error box names the missing name's failure"
    gui_x g3 xdotool windowfocus --sync "$box" sleep 0.2 key Return
  else
    fail "no error box for NOSUCHPC"
  fi
  expect_dump g3 "^row\t$console\tlbList\t0\t[0-9,]+\tNOSUCHPC\$" "only the failed row stays"
  dump_gone g3 "^row\t$console\tlbList\t1\t" 5 && pass "the row that went is removed" || fail "a second row is still listed"
}

lab_test_main 3 -- "$@"
