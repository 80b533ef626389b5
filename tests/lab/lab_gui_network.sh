#!/usr/bin/env bash
# The desktop program's "Network Neighborhood" panel (on Xvfb) against the
# lab's real daemons (labneighbour_lib.sh): opened with the panel switch, its
# tree lists the workgroup QLMLAB, and expanded it shows every computer once
# as "NAME [ADDRESS]"; Enter on QLMPEER2, where our node listens, opens a
# message window to that computer (no nickname), and what is sent there
# reaches the node. With QLM_NETWORK_SHOT=FILE and QLM_GRABWINDOW=path of
# tools/grabwindow, the main window is saved as FILE (the README's picture).
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_gui_network.sh LABPROBE
set -u -o pipefail
export QLM_LAB_TIMEOUT=${QLM_LAB_TIMEOUT:-240}
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labsamba_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labneighbour_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
readonly kObserver=6

checks() {
  gui_lab_ready || return
  nb_lab_up "$kObserver" || return
  export DBUS_SYSTEM_BUS_ADDRESS
  DBUS_SYSTEM_BUS_ADDRESS=$(nb_avahi_bus avahi6)
  node_start n2 2
  expect_log n2 '"event":"network-confirmed"' "our node listens on QLMPEER2"
  gui_start g6 "$kObserver" Olivia MaxVisibleGroups=2 || return
  local main at
  main=$(window_id g6 TMainForm '.*' 20) || { fail "the main window did not show"; return; }
  click_caption g6 "$main" "Network Neighborhood" || return
  expect_dump g6 "^row\t$main\ttvNetwork\t0\t[0-9,]+\tNetwork Neighborhood\$" "the panel switch shows the tree's root"
  expand g6 "$main" QLMLAB || return
  local name
  for name in "QLMMASTER [10.77.0.1]" "QLMPEER2 [10.77.0.2]" "QLMPEER3 [10.77.0.3]" "QLMWSD [10.77.0.4]"; do
    expect_once g6 "$main" "0\.[0-9]+\.[0-9]+" "$name" "QLMLAB lists $name once"
  done
  if [ "$nb_avahi_ok" -eq 1 ]; then
    expand g6 "$main" "Other Computers" || return
    expect_once g6 "$main" "0\.[0-9]+\.[0-9]+" "qlmavahi [10.77.0.5]" "Other Computers lists the mDNS host once"
  fi
  send_to_selected g6 "$main" "QLMPEER2 [10.77.0.2]" n2
  if [ -n "${QLM_NETWORK_SHOT:-}" ] && [ -x "${QLM_GRABWINDOW:-}" ]; then
    sleep 1 # the last repaint
    gui_x g6 "$QLM_GRABWINDOW" "$main" "$QLM_LAB_DIR/network.png" && cp "$QLM_LAB_DIR/network.png" "$QLM_NETWORK_SHOT" &&
      echo "wrote $QLM_NETWORK_SHOT" || fail "grabwindow could not capture the main window"
  fi
  node_stop n2
}

# send_to_selected NAME MAIN ROW NODE: selects the computer ROW, presses Enter
# ("Send Message to Selected..."), pastes a text into the message window that
# opens and sends it; NODE's log shows it.
send_to_selected() {
  local name=$1 main=$2 row=$3 node=$4 at form caption text="Hello QLMPEER2 from the network panel"
  local quoted=${row//[/\\[}
  quoted=${quoted//]/\\]}
  quoted=${quoted//./\\.}
  at=$(dump_line "$name" "^row\t$main\ttvNetwork\t[0-9.]+\t[0-9,-]+\t$quoted\$" 15 | cut -f5) ||
    { fail "no row $row to select"; return 1; }
  click "$name" "$main" "$at"
  keys "$name" "$main" Return
  form=$(window_id "$name" TNewMsgForm '.*' 10) || { fail "Enter on $row opens no message window"; return 1; }
  caption=$(dump_line "$name" "^window\t$form\t" 2 | cut -f5)
  if [[ "$caption" == *"${row%% *}"* || "$caption" == *10.77.0.2* ]] && [[ "$caption" != *"$node"* ]]; then
    pass "Enter on $row opens a message window to the computer, without a nickname ($caption)"
  else
    fail "the message window from $row is captioned \"$caption\""
  fi
  click_part "$name" "$form" text RichED
  paste_text "$name" "$form" "$text"
  keys "$name" "$form" ctrl+Return
  expect_log "$node" "\"NickName\":\"Olivia\".*\"Text\":\"$text.*\"event\":\"WM_PEER_MESSAGE\"" \
    "the message from the panel reaches our node on ${row%% *}"
}

# expand NAME MAIN TEXT: selects the tree's row TEXT and opens it with Right.
expand() {
  local at
  at=$(dump_line "$1" "^row\t$2\ttvNetwork\t[0-9.]+\t[0-9,]+\t$3\$" 15 | cut -f5) ||
    { fail "no row $3 in the network tree: $(grep tvNetwork "$QLM_LAB_DIR/$1.state" | tr '\n' ';')"; return 1; }
  click "$1" "$2" "$at"
  keys "$1" "$2" Right
}

# expect_once NAME MAIN PATH-REGEX TEXT WHAT: a row TEXT shows up (15 s) and is
# the only one with that text.
expect_once() {
  local name=$1 main=$2 path=$3 text=$4 what=$5 quoted count
  quoted=${text//[/\\[}
  quoted=${quoted//]/\\]}
  quoted=${quoted//./\\.}
  if dump_line "$name" "^row\t$main\ttvNetwork\t$path\t[0-9,-]+\t$quoted\$" 15 >/dev/null; then
    count=$(grep -cP -- "^row\t$main\ttvNetwork\t[0-9.]+\t[0-9,-]+\t(?i)${quoted%% *}\b" "$QLM_LAB_DIR/$name.state")
    [ "$count" -eq 1 ] && pass "$what" || fail "$what: ${text%% *} is in $count rows"
  else
    fail "$what: no row \"$text\": $(grep tvNetwork "$QLM_LAB_DIR/$name.state" | cut -f4,6 | tr '\n' ';') $(grep -iv 'XDG_RUNTIME\|GB_BIG5' "$QLM_LAB_DIR/$name.log" | tail -n 5)"
  fi
}

lab_test_main 6 -- "$@"
