# shellcheck shell=bash
# Desktop programs in the lab, each on its own Xvfb inside its host, driven
# with xdotool (real X input) and observed through the program's
# QUILLMATE_STATE_DUMP file (src/app/StateDumpUnit.h gives its lines).
# Source after labtest_lib.sh; $gui is the path of quillmate. Every wait
# polls for a state with a deadline.

declare -A gui_hosts=() gui_displays=()
readonly kGuiTimings="load=50,repeat=300,signal=500,minute=100"

# gui_lab_ready: the programs ($gui, $cli) and the X tools are there.
gui_lab_ready() {
  [ -x "$gui" ] || { fail "quillmate not found (QLM_GUI=$gui)"; return 1; }
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return 1; }
  local tool
  for tool in Xvfb xdotool xclip; do
    command -v "$tool" >/dev/null || { fail "$tool is missing (build.sh installs it)"; return 1; }
  done
}

# gui_home NAME NICKNAME [INI LINES...]: a settings folder with a fixed id.
gui_home() {
  local home="$QLM_LAB_DIR/home-$1" nick=$2 line
  shift 2
  mkdir -p "$home"
  {
    printf '[Quillmate Settings]\r\nNickname=%s\r\nQLMId=LAB-%s\r\n' "$nick" "$nick"
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } >"$home/Config.ini"
}

# gui_start NAME HOST NICKNAME [INI LINES...]: Xvfb and quillmate on HOST.
gui_start() {
  local name=$1 host=$2 nick=$3 tries
  shift 3
  gui_home "$name" "$nick" "$@"
  gui_hosts[$name]=$host
  ip netns exec "${QLM_LAB_PREFIX}h$host" Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp \
    3>"$QLM_LAB_DIR/$name.display" >"$QLM_LAB_DIR/$name.xvfb" 2>&1 &
  for ((tries = 0; tries < 100; tries++)); do
    [ -s "$QLM_LAB_DIR/$name.display" ] && break
    sleep 0.1
  done
  [ -s "$QLM_LAB_DIR/$name.display" ] || { fail "Xvfb for $name did not start: $(cat "$QLM_LAB_DIR/$name.xvfb")"; return 1; }
  gui_displays[$name]=":$(head -n 1 "$QLM_LAB_DIR/$name.display")"
  gui_launch "$name" "$host"
}

# gui_launch NAME HOST: quillmate on NAME's display and settings folder (again,
# after it stopped: the settings it saved stay); $! is its pid.
gui_launch() {
  local name=$1 host=$2
  mkdir -m 700 -p "$QLM_LAB_DIR/run-$name"
  ip netns exec "${QLM_LAB_PREFIX}h$host" env -u QUILLMATE_NETWORK -u WAYLAND_DISPLAY \
    DISPLAY="${gui_displays[$name]}" QT_QPA_PLATFORM=xcb QUILLMATE_HOME="$QLM_LAB_DIR/home-$name" \
    QUILLMATE_LIST_DUMP="$QLM_LAB_DIR/$name.list" QUILLMATE_STATE_DUMP="$QLM_LAB_DIR/$name.state" \
    QUILLMATE_TIMINGS="$kGuiTimings" XDG_RUNTIME_DIR="$QLM_LAB_DIR/run-$name" \
    "$gui" >"$QLM_LAB_DIR/$name.log" 2>&1 </dev/null &
}

# gui_x NAME COMMAND...: an X client (xdotool, xclip, import) on NAME's display.
gui_x() {
  local name=$1
  shift
  ip netns exec "${QLM_LAB_PREFIX}h${gui_hosts[$name]}" env DISPLAY="${gui_displays[$name]}" "$@"
}

# dump_line NAME REGEX [SECONDS]: waits (default 10 s) until a line of NAME's
# state dump matches REGEX (Perl syntax, \t between fields) and prints it.
dump_line() {
  local name=$1 pattern=$2 limit=${3:-10} tries line
  for ((tries = 0; tries < limit * 10; tries++)); do
    line=$(grep -P -m 1 -- "$pattern" "$QLM_LAB_DIR/$name.state" 2>/dev/null) && { echo "$line"; return 0; }
    sleep 0.1
  done
  return 1
}

# dump_gone NAME REGEX [SECONDS]: waits until no line matches.
dump_gone() {
  local name=$1 pattern=$2 limit=${3:-10} tries
  for ((tries = 0; tries < limit * 10; tries++)); do
    grep -P -- "$pattern" "$QLM_LAB_DIR/$name.state" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# expect_dump NAME REGEX WHAT [SECONDS]
expect_dump() {
  if dump_line "$1" "$2" "${4:-10}" >/dev/null; then
    pass "$3"
  else
    fail "$3 (no /$2/ in $1's state: $(tr '\t\n' ' ;' <"$QLM_LAB_DIR/$1.state" 2>/dev/null | tail -c 1500))"
    return 1
  fi
}

# window_id NAME CLASS CAPTION-REGEX [SECONDS]: the id of a shown window.
window_id() {
  dump_line "$1" "^window\t0x[0-9a-f]+\t$2\t[^\t]*\t$3\t" "${4:-10}" | cut -f2
}

# part_at NAME ID KIND OBJECT-NAME: the centre "x,y" of a part of window ID.
part_at() {
  local name=$1 id=$2 kind=$3 object=$4
  case "$kind" in
    text) dump_line "$name" "^text\t$id\t$object\t" 5 | cut -f5 ;;
    button) dump_line "$name" "^button\t$id\t$object\t1\t" 5 | cut -f5 ;;
    label) dump_line "$name" "^label\t$id\t$object\t" 5 | cut -f4 ;;
  esac
}

# click NAME ID X,Y [BUTTON-ARGS...]: raises window ID and clicks at X,Y inside it
# ("click 1", or e.g. "click --repeat 2 1" for a double click).
click() {
  local name=$1 id=$2 at=$3
  shift 3
  [ -n "$at" ] || { fail "nothing to click in window $id of $name"; return 1; }
  [ $# -gt 0 ] || set -- click 1
  gui_x "$name" xdotool windowraise "$id" mousemove --sync --window "$id" "${at%,*}" "${at#*,}" sleep 0.1 "$@"
}

# click_part NAME ID KIND OBJECT-NAME: clicks a button, label or text box.
click_part() { click "$1" "$2" "$(part_at "$1" "$2" "$3" "$4")"; }

# keys NAME ID KEYS...: focuses window ID and presses KEYS (xdotool names).
keys() {
  local name=$1 id=$2
  shift 2
  gui_x "$name" xdotool windowraise "$id" windowfocus --sync "$id" sleep 0.2 key --delay 50 "$@"
}

# type_text NAME ID TEXT: focuses window ID and types TEXT into its focused control.
type_text() {
  gui_x "$1" xdotool windowraise "$2" windowfocus --sync "$2" sleep 0.2 type --delay 20 -- "$3"
}

# click_caption NAME ID CAPTION: clicks the enabled button of window ID with
# that caption (a message box's "&Yes").
click_caption() {
  click "$1" "$2" "$(dump_line "$1" "^button\t$2\t[^\t]*\t1\t[0-9,]+\t$3\$" 5 | cut -f5)"
}

# paste_files NAME ID PATH...: puts the paths on NAME's clipboard as a file
# list and presses Ctrl+V in window ID.
paste_files() {
  local name=$1 id=$2 path list="$QLM_LAB_DIR/$1.clip"
  shift 2
  : >"$list"
  for path in "$@"; do printf 'file://%s\r\n' "$path" >>"$list"; done
  gui_x "$name" xclip -selection clipboard -t text/uri-list -i "$list" 2>/dev/null &
  local tries
  for ((tries = 0; tries < 50; tries++)); do
    gui_x "$name" xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -x 'text/uri-list' >/dev/null && break
    sleep 0.1
  done
  keys "$name" "$id" ctrl+v
}

# paste_text NAME ID TEXT: puts TEXT (UTF-8) on NAME's clipboard and presses
# Ctrl+V in window ID. xdotool types a character outside the keymap by
# remapping a key on the fly, which loses some under load; a paste does not.
paste_text() {
  local name=$1 id=$2 clip="$QLM_LAB_DIR/$1.text.clip"
  printf '%s' "$3" >"$clip"
  gui_x "$name" xclip -selection clipboard -t UTF8_STRING -i "$clip" 2>/dev/null &
  local tries
  for ((tries = 0; tries < 50; tries++)); do
    gui_x "$name" xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -x 'UTF8_STRING' >/dev/null && break
    sleep 0.1
  done
  keys "$name" "$id" ctrl+v
}

# user_row NAME MAIN NICKNAME: the centre "x,y" of NICKNAME's row in the online
# list of main window MAIN.
user_row() {
  dump_line "$1" "^row\t$2\ttvUser\t0\.\d+\t[0-9,]+\t$3\$" 5 | cut -f5
}

# open_chat NAME MAIN NICKNAME: double-clicks NICKNAME's row; prints the id of
# the message window that opens.
open_chat() {
  click "$1" "$2" "$(user_row "$1" "$2" "$3")" click --repeat 2 --delay 80 1 &&
    window_id "$1" TNewMsgForm "$3"
}

# open_file_window NAME MAIN NICKNAME: selects NICKNAME, presses the main
# window's File button; prints the id of the file window to NICKNAME.
open_file_window() {
  click "$1" "$2" "$(user_row "$1" "$2" "$3")" && click_part "$1" "$2" button tbtnSendFile &&
    window_id "$1" TFileForm "Send file\\(s\\) to $3"
}
