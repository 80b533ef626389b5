#!/usr/bin/env bash
# The options dialog with a real node: Alice's desktop program (Xvfb, host 1)
# starts in multicast mode; a headless node on host 2 hears only broadcasts
# (broadcast mode, another multicast group) and so never hears of her. Alice
# opens Tools - Options with the keyboard, chooses "Use UDP Broadcast" on the
# Connection page and presses OK; after a restart the node lists her.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_gui_options.sh LABPROBE
set -u -o pipefail
QLM_LAB_TIMEOUT=120
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="$kGuiTimings"

# alice_events: how many of the node's events name Alice.
alice_events() { grep -c '"NickName":"Alice"' "$QLM_LAB_DIR/nB.log" 2>/dev/null; }

# stop_alice: SIGTERM, at most 5 s for the exit.
stop_alice() {
  local tries
  kill -TERM "$alice_pid" 2>/dev/null
  for ((tries = 0; tries < 50; tries++)); do
    kill -0 "$alice_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$alice_pid" 2>/dev/null; then
    kill -KILL "$alice_pid" 2>/dev/null
    fail "Alice's program was still running 5 s after SIGTERM"
  fi
  wait "$alice_pid" 2>/dev/null
}

checks() {
  gui_lab_ready || return
  # The node first: what it announces at its start Alice cannot answer yet.
  mkdir -p "$QLM_LAB_DIR/home-nB"
  printf '[Quillmate Settings]\r\nUseUDPIPMulticast=0\r\nMulticastGroup=239.9.9.9\r\n' >"$QLM_LAB_DIR/home-nB/Config.ini"
  node_start nB 2
  wait_log nB '"event":"network-confirmed"' 10 && pass "the broadcast-only node is up" ||
    { fail "the node never confirmed its network: $(cat "$QLM_LAB_DIR/nB.err")"; return; }

  gui_start gA 1 Alice || return
  alice_pid=$!
  local main
  main=$(window_id gA TMainForm 'Quillmate - Alice' 20) || { fail "Alice's main window is not shown"; return; }
  # Her own row is her multicast logon come back: she has announced herself.
  expect_dump gA "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tAlice\$" "Alice announces herself by multicast" 20 || return
  sleep 2
  [ "$(alice_events)" = 0 ] && pass "the broadcast-only node does not hear Alice's multicast" ||
    fail "the node heard Alice before the switch: $(grep Alice "$QLM_LAB_DIR/nB.log" | head -n 2)"

  # Tools - Options..., Connection, Use UDP Broadcast, OK.
  keys gA "$main" alt+t o
  local dialog at
  dialog=$(window_id gA TOptionForm Options) || { fail "Alt+T, O opens no options dialog"; return; }
  pass "Alt+T, O opens the options dialog"
  at=$(dump_line gA "^row\t$dialog\ttvCategories\t1\t[0-9,]+\tConnection\$" 5 | cut -f5)
  click gA "$dialog" "$at" || return
  expect_dump gA "^button\t$dialog\trbBroadcast\t1\t" "the Connection page shows the modes" 5 || return
  # Alt+B ("Use UDP &Broadcast"): a click must hit the caption, not the middle of the row.
  keys gA "$dialog" alt+b
  click_part gA "$dialog" button btnEnter
  dump_gone gA "^window\t$dialog\t" 5 && pass "OK closes the dialog without a restart notice" ||
    { fail "the dialog stayed open: $(grep -P "^(window|label)\t" "$QLM_LAB_DIR/gA.state" | tr '\n' ';')"; return; }
  grep -a 'UseUDPIPMulticast=0' "$QLM_LAB_DIR/home-gA/Config.ini" >/dev/null &&
    pass "the mode is saved in Alice's Config.ini" || fail "Config.ini: $(tr '\r\n' ' ;' <"$QLM_LAB_DIR/home-gA/Config.ini")"

  # The restart: her logon now goes to 255.255.255.255.
  stop_alice
  rm -f "$QLM_LAB_DIR/gA.state"
  gui_launch gA 1
  alice_pid=$!
  wait_log nB '"NickName":"Alice"' 20 && pass "after the restart the broadcast-only node hears Alice" ||
    fail "the node never heard Alice: $(tail -c 600 "$QLM_LAB_DIR/nB.log")"
  main=$(window_id gA TMainForm 'Quillmate - Alice' 20) || { fail "Alice's main window is not shown after the restart"; return; }
  expect_dump gA "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tnB\$" "Alice lists the node that answered her" 20
  node_cmd nB list
  wait_log nB '"event":"online-list".*"NickName":"Alice"' 10 && pass "the node lists Alice" ||
    fail "the node's list lacks Alice: $(grep online-list "$QLM_LAB_DIR/nB.log" | tail -n 1)"
  stop_alice
  node_stop nB
}

lab_test_main 2 -- "$@"
