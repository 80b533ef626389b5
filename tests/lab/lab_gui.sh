#!/usr/bin/env bash
# Two desktop programs (offscreen) and one headless node on three lab hosts:
# each window's online list shows all three users under their addresses, its
# own row marked, follows a state change, and drops the headless node when it
# stops. The windows' lists are read from their QUILLMATE_LIST_DUMP files.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_gui.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
# Short intervals: load 50 ms, self-check every 300 ms, presence check every 500 ms.
timings="load=50,repeat=300,signal=500,minute=100"
declare -A pids=() fds=()

# make_home NAME NICKNAME: a settings folder whose Config.ini gives the
# nickname and a fixed id.
make_home() {
  local home="$QLM_LAB_DIR/home-$1"
  mkdir -p "$home"
  printf '[Quillmate Settings]\r\nNickname=%s\r\nQLMId=LAB-%s\r\n' "$2" "$1" >"$home/Config.ini"
}

# gui_start NAME HOST NICKNAME: the desktop program on HOST. `ip netns exec`
# replaces itself with the program, so $! is the program's own pid.
gui_start() {
  local name=$1 host=$2
  make_home "$name" "$3"
  mkdir -m 700 -p "$QLM_LAB_DIR/run-$name"
  ip netns exec "${QLM_LAB_PREFIX}h$host" env -u QUILLMATE_NETWORK QT_QPA_PLATFORM=offscreen \
    QUILLMATE_HOME="$QLM_LAB_DIR/home-$name" QUILLMATE_LIST_DUMP="$QLM_LAB_DIR/$name.list" \
    QUILLMATE_TIMINGS="$timings" XDG_RUNTIME_DIR="$QLM_LAB_DIR/run-$name" \
    "$gui" >"$QLM_LAB_DIR/$name.log" 2>&1 </dev/null &
  pids[$name]=$!
}

# node_start NAME HOST NICKNAME: a headless node whose commands come from a fifo.
node_start() {
  local name=$1 host=$2 fd
  make_home "$name" "$3"
  mkfifo "$QLM_LAB_DIR/$name.in"
  ip netns exec "${QLM_LAB_PREFIX}h$host" env -u QUILLMATE_NETWORK QUILLMATE_TIMINGS="$timings" \
    "$cli" --home "$QLM_LAB_DIR/home-$name" listen --json --nickname "$3" \
    <"$QLM_LAB_DIR/$name.in" >"$QLM_LAB_DIR/$name.log" 2>"$QLM_LAB_DIR/$name.err" &
  pids[$name]=$!
  exec {fd}>"$QLM_LAB_DIR/$name.in"
  fds[$name]=$fd
}

# The user rows of a window's dumped list as "nick@ip state self", sorted.
users_of() {
  awk -F'\t' '$1 == "user" { print $3 "@" $4 " " $5 " " $6 }' "$QLM_LAB_DIR/$1.list" 2>/dev/null | sort
}

# expect_users NAME WANTED WHAT: waits (at most 10 s) until the window lists
# exactly WANTED (lines as users_of prints them).
expect_users() {
  local name=$1 wanted=$2 what=$3 tries
  for ((tries = 0; tries < 100; tries++)); do
    [ "$(users_of "$name")" = "$wanted" ] && { pass "$what"; return 0; }
    sleep 0.1
  done
  fail "$what (lists: $(users_of "$name" | tr '\n' ';') wanted: $(echo "$wanted" | tr '\n' ';'); log: $(tail -c 400 "$QLM_LAB_DIR/$name.log" 2>/dev/null))"
  return 1
}

rows() { printf '%s\n' "$@" | sort; }

# stop_with_sigterm NAME: SIGTERM, then at most 5 s for the exit. Sets
# stop_status to the exit status, or "hung" for a process that had to be killed.
stop_status=""
stop_with_sigterm() {
  local name=$1 pid=${pids[$1]} tries
  kill -TERM "$pid" 2>/dev/null
  for ((tries = 0; tries < 50; tries++)); do
    running_pid "$pid" || break
    sleep 0.1
  done
  if running_pid "$pid"; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    stop_status=hung
  else
    wait "$pid"
    stop_status=$?
  fi
  unset "pids[$name]"
}

# Zombies count as gone: they have ended, only wait has not collected them.
running_pid() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# A window stopped with SIGTERM must end: at best it logs off (status 0) and
# the other window drops it.
stop_gui() {
  local name=$1 nick=$2 other=$3 wanted_after=$4
  stop_with_sigterm "$name"
  case "$stop_status" in
    0)
      pass "$name quits with status 0 on SIGTERM"
      [ -n "$other" ] && expect_users "$other" "$wanted_after" "$other drops $nick after its SIGTERM"
      ;;
    143) echo "note: $name was ended by SIGTERM itself (no handler: it neither logs off nor saves)" ;;
    hung) fail "$name was still running 5 s after SIGTERM; killed" ;;
    *) fail "$name exited $stop_status on SIGTERM: $(tail -c 400 "$QLM_LAB_DIR/$name.log")" ;;
  esac
}

checks() {
  [ -x "$gui" ] || { fail "quillmate not found (QLM_GUI=$gui)"; return; }
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }

  gui_start gA 1 Alice
  gui_start gB 2 Bruno
  node_start nC 3 Chen

  local all
  all=$(rows "Alice@10.77.0.1 0 1" "Bruno@10.77.0.2 0 0" "Chen@10.77.0.3 0 0")
  expect_users gA "$all" "gA lists Alice (itself), Bruno and Chen with their addresses" || return
  expect_users gB "$(rows "Alice@10.77.0.1 0 0" "Bruno@10.77.0.2 0 1" "Chen@10.77.0.3 0 0")" \
    "gB lists Alice, Bruno (itself) and Chen with their addresses" || return
  if grep -P '^group\t.* \[3\]$' "$QLM_LAB_DIR/gA.list" >/dev/null; then
    pass "gA's group caption counts three users"
  else
    fail "gA's group rows: $(grep '^group' "$QLM_LAB_DIR/gA.list" | tr '\n' ';')"
  fi

  echo "state 1" >&"${fds[nC]}"
  expect_users gA "$(rows "Alice@10.77.0.1 0 1" "Bruno@10.77.0.2 0 0" "Chen@10.77.0.3 1 0")" "gA shows Chen Busy"
  expect_users gB "$(rows "Alice@10.77.0.1 0 0" "Bruno@10.77.0.2 0 1" "Chen@10.77.0.3 1 0")" "gB shows Chen Busy"

  stop_with_sigterm nC
  [ "$stop_status" = 0 ] && pass "the headless node quits with status 0 on SIGTERM" ||
    fail "the headless node exited $stop_status on SIGTERM: $(cat "$QLM_LAB_DIR/nC.err")"
  expect_users gA "$(rows "Alice@10.77.0.1 0 1" "Bruno@10.77.0.2 0 0")" "gA drops Chen after its logoff"
  expect_users gB "$(rows "Alice@10.77.0.1 0 0" "Bruno@10.77.0.2 0 1")" "gB drops Chen after its logoff"

  stop_gui gA Alice gB "Bruno@10.77.0.2 0 1"
  stop_gui gB Bruno "" ""
  # Nothing a window says at start may be an error of ours.
  local name
  for name in gA gB; do
    if grep -iE 'error|fail|cannot' "$QLM_LAB_DIR/$name.log" >/dev/null; then
      echo "note: $name printed: $(grep -iE 'error|fail|cannot' "$QLM_LAB_DIR/$name.log" | head -n 3 | tr '\n' ';')"
    fi
  done
}

lab_test_main 3 -- "$@"
