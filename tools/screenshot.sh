#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window of a real run with a few users in
# two groups. Everything runs in a four-host test lab (tests/lab/netlab.sh):
# host 1 runs Xvfb and quillmate ("Maria"), hosts 2-4 headless nodes; "Ann
# Lee" and "Bruno" (Busy) are kept in the group "Design", "Chen Wei" (Away)
# and Maria herself in Favorite Contacts. The picture is taken once the
# window's list (its QUILLMATE_LIST_DUMP file) shows all four.
#
#   sudo tools/screenshot.sh [--build DIR] [--out FILE] [--size WxH] [--screen FILE]
#     --build  the build tree with bin/quillmate and bin/quillmate-cli (build/test)
#     --out    the picture (docs/screenshot.png)
#     --size   the window's size in pixels (the program's own default when not given)
#     --screen also the whole screen as the list fills (notification windows included)
# Needs root, Xvfb, ImageMagick (import) and x11-utils (xwininfo).
set -u -o pipefail

readonly kRoot="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly kTimeout=90
readonly kTimings="load=50,repeat=300"  # real check-signal pace: nobody looks silent

say() { echo "screenshot: $*" >&2; }
die() { say "$*"; exit 1; }

# ---------------------------------------------------------------- inside the lab

# home NAME NICKNAME ID [EXTRA INI LINES...]: a settings folder for one node.
make_home() {
  local home="$QLM_LAB_DIR/home-$1" nick=$2 id=$3 line
  shift 3
  mkdir -p "$home"
  {
    printf '[Quillmate Settings]\r\nNickname=%s\r\nQLMId=%s\r\n' "$nick" "$id"
    for line in "$@"; do printf '%s\r\n' "$line"; done
  } >"$home/Config.ini"
}

declare -A fds=() states=()

# node HOST NAME NICKNAME ID [STATE]: a headless node; STATE 1 Busy, 2 Away,
# switched to once everybody is listed (a node starts Online).
node() {
  local host=$1 name=$2 nick=$3 id=$4 state=${5:-0} fd
  make_home "$name" "$nick" "$id"
  mkfifo "$QLM_LAB_DIR/$name.in"
  ip netns exec "${QLM_LAB_PREFIX}h$host" env -u QUILLMATE_NETWORK QUILLMATE_TIMINGS="$kTimings" \
    "$cli" --home "$QLM_LAB_DIR/home-$name" listen --nickname "$nick" \
    <"$QLM_LAB_DIR/$name.in" >"$QLM_LAB_DIR/$name.log" 2>&1 &
  exec {fd}>"$QLM_LAB_DIR/$name.in"
  fds[$name]=$fd
  states[$name]=$state
}

# Waits up to SECONDS for a command to succeed.
wait_for() {
  local seconds=$1 tries
  shift
  for ((tries = 0; tries < seconds * 10; tries++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

users() { awk -F'\t' '$1 == "user" { print $3 "|" $2 "|" $5 }' "$QLM_LAB_DIR/maria.list" 2>/dev/null | sort; }
list_full() { [ "$(users)" = "$wanted" ]; }
listed() { [ "$(users | cut -d'|' -f1,2)" = "$(cut -d'|' -f1,2 <<<"$wanted")" ]; }
display_ready() { [ -s "$QLM_LAB_DIR/display" ]; }

# The biggest viewable top-level window of the program on the display.
main_window() {
  local id best="" area best_area=0 geometry
  while read -r id; do
    geometry=$(ip netns exec "${QLM_LAB_PREFIX}h1" xwininfo -display "$display" -id "$id" 2>/dev/null) || continue
    grep 'Map State: IsViewable' <<<"$geometry" >/dev/null || continue
    area=$(($(awk '/^  Width:/ {print $2}' <<<"$geometry") * $(awk '/^  Height:/ {print $2}' <<<"$geometry")))
    if [ "$area" -gt "$best_area" ]; then
      best=$id
      best_area=$area
    fi
  done < <(ip netns exec "${QLM_LAB_PREFIX}h1" xwininfo -display "$display" -root -children 2>/dev/null |
    awk '$1 ~ /^0x/ && /\("quillmate"/ {print $1}')
  [ -n "$best" ] && echo "$best"
}

inside() {
  local out=$2 size=$3 screen=${4:-} computer
  cli="$1/bin/quillmate-cli"
  local gui="$1/bin/quillmate"
  # Users are grouped by computer name + id; every lab host shares this machine's name.
  computer=$(hostname | cut -c1-15)

  # Xvfb in host 1 picks a free display number itself.
  ip netns exec "${QLM_LAB_PREFIX}h1" Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp \
    3>"$QLM_LAB_DIR/display" >"$QLM_LAB_DIR/xvfb.log" 2>&1 &
  wait_for 10 display_ready || die "Xvfb did not start: $(cat "$QLM_LAB_DIR/xvfb.log")"
  display=":$(head -n 1 "$QLM_LAB_DIR/display")"

  local geometry=()
  if [ -n "$size" ]; then
    geometry=("MainFormWidth=${size%x*}" "MainFormHeight=${size#*x}" "MainFormLeft=0" "MainFormTop=0")
  fi
  make_home maria Maria SHOT-1 "${geometry[@]+"${geometry[@]}"}"
  printf '[Users]\r\n%sSHOT-2=Design\r\n%sSHOT-3=Design\r\n[Groups]\r\nDesign=1\r\n[User Positions]\r\n%sSHOT-2=0\r\n%sSHOT-3=1\r\n' \
    "$computer" "$computer" "$computer" "$computer" >"$QLM_LAB_DIR/home-maria/UserGroup.ini"
  mkdir -m 700 -p "$QLM_LAB_DIR/run"
  ip netns exec "${QLM_LAB_PREFIX}h1" env -u QUILLMATE_NETWORK -u WAYLAND_DISPLAY DISPLAY="$display" \
    QT_QPA_PLATFORM=xcb QUILLMATE_HOME="$QLM_LAB_DIR/home-maria" QUILLMATE_LIST_DUMP="$QLM_LAB_DIR/maria.list" \
    QUILLMATE_TIMINGS="$kTimings" XDG_RUNTIME_DIR="$QLM_LAB_DIR/run" \
    "$gui" >"$QLM_LAB_DIR/maria.log" 2>&1 </dev/null &

  node 2 ann "Ann Lee" SHOT-2
  node 3 bruno Bruno SHOT-3 1
  node 4 chen "Chen Wei" SHOT-4 2

  local favorite
  wait_for 20 test -s "$QLM_LAB_DIR/maria.list" ||
    die "the window never wrote its list: $(tail -c 600 "$QLM_LAB_DIR/maria.log")"
  favorite=$(awk -F'\t' '$1 == "group" {sub(/ \[[0-9]+\]$/, "", $2); print $2; exit}' "$QLM_LAB_DIR/maria.list")
  wanted=$(printf '%s\n' "Maria|$favorite|0" "Ann Lee|Design|0" "Bruno|Design|1" "Chen Wei|$favorite|2" | sort)
  wait_for 20 listed || die "not everybody came online: $(users | tr '\n' ';') (log: $(tail -c 600 "$QLM_LAB_DIR/maria.log"))"
  local name
  for name in "${!states[@]}"; do
    [ "${states[$name]}" != 0 ] && echo "state ${states[$name]}" >&"${fds[$name]}"
  done
  wait_for 20 list_full || die "the list never filled: $(users | tr '\n' ';') (log: $(tail -c 600 "$QLM_LAB_DIR/maria.log"))"

  local window
  window=$(wait_for 10 main_window >/dev/null && main_window) || die "no window of quillmate on $display"
  if [ -n "$screen" ]; then
    ip netns exec "${QLM_LAB_PREFIX}h1" import -display "$display" -window root "$screen" ||
      die "import could not capture the screen"
  fi
  sleep 1 # the last repaint after the list filled
  mkdir -p "$(dirname "$out")"
  ip netns exec "${QLM_LAB_PREFIX}h1" import -display "$display" -window "$window" "$out" ||
    die "import could not capture window $window"
  say "wrote $out (window $window: $(identify -format '%wx%h' "$out" 2>/dev/null))"
  for fd in "${fds[@]}"; do echo quit >&"$fd"; done
}

# ---------------------------------------------------------------- entry

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit $?
fi

build="$kRoot/build/test"
out="$kRoot/docs/screenshot.png"
size=""
screen=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --size) [[ $2 =~ ^[0-9]+x[0-9]+$ ]] || die "--size wants WxH"; size=$2; shift 2 ;;
    --screen) screen=$(realpath -m "$2"); shift 2 ;;
    *) sed -n '9,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
[ "$(id -u)" -eq 0 ] || die "needs root for the lab's network namespaces (run with sudo)"
for tool in Xvfb import xwininfo; do
  command -v "$tool" >/dev/null || die "$tool is missing (apt-get install xvfb imagemagick x11-utils)"
done
for program in quillmate quillmate-cli; do
  [ -x "$build/bin/$program" ] || die "$build/bin/$program is not built"
done
timeout -s TERM "$kTimeout" "$kRoot/tests/lab/netlab.sh" run 4 -- bash "$0" --inside "$build" "$out" "$size" "$screen" </dev/null
