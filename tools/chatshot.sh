#!/usr/bin/env bash
# Takes docs/screenshots/chat.png: a message window in the chat layout from a
# real run. Everything runs in a three-host test lab (tests/lab/netlab.sh):
# host 1 runs Xvfb and quillmate ("Maria"), host 2 a headless node ("Ann
# Lee"). Ann sends Maria a picture; Maria opens it from the queue
# notification, answers with an emoticon, and Ann's next line joins the open
# chat window. The window is found and driven through the program's
# QUILLMATE_STATE_DUMP file and xdotool (tests/lab/labgui_lib.sh).
#
#   sudo tools/chatshot.sh [--build DIR] [--out FILE]
#     --build  the build tree with bin/quillmate and bin/quillmate-cli (build/test)
#     --out    the picture (docs/screenshots/chat.png)
# Needs root, Xvfb, xdotool, ImageMagick (convert, import).
set -u -o pipefail

readonly kRoot="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly kTimeout=90

say() { echo "chatshot: $*" >&2; }
die() { say "$*"; exit 1; }

# ---------------------------------------------------------------- inside the lab

inside() {
  local build=$1 out=$2
  source "$kRoot/tests/lab/labtest_lib.sh"
  source "$kRoot/tests/lab/labgui_lib.sh"
  fail() { die "$*"; }
  pass() { :; }
  gui="$build/bin/quillmate"
  cli="$build/bin/quillmate-cli"
  export QUILLMATE_TIMINGS="$kGuiTimings"

  # Wide enough for the tool bar's captions.
  gui_start maria 1 Maria MessageFormChatWidth=560 MessageFormChatHeight=440 || exit 1
  mkdir -p "$QLM_LAB_DIR/home-ann"
  printf '[Quillmate Settings]\r\nNickname=Ann Lee\r\nQLMId=SHOT-ANN\r\n' >"$QLM_LAB_DIR/home-ann/Config.ini"
  mkfifo "$QLM_LAB_DIR/ann.in"
  labexec 2 "$cli" --home "$QLM_LAB_DIR/home-ann" listen --nickname "Ann Lee" \
    <"$QLM_LAB_DIR/ann.in" >"$QLM_LAB_DIR/ann.log" 2>&1 &
  exec {ann_in}>"$QLM_LAB_DIR/ann.in"
  ann() { labexec 2 "$cli" --home "$QLM_LAB_DIR/home-ann" send --nickname "Ann Lee" --to 10.77.0.1 "$@" >/dev/null; }

  convert rose: -resize 200% "$QLM_LAB_DIR/rose.png" || die "convert could not draw the picture"
  dump_line maria '^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\tAnn Lee$' 20 >/dev/null ||
    die "Ann never came online: $(tail -c 600 "$QLM_LAB_DIR/maria.log")"

  ann "The roses by the office are out!" --image "$QLM_LAB_DIR/rose.png" || die "Ann's message was not sent"
  local note chat
  note=$(window_id maria TQueueNotificationWindow '' 10) || die "no queue notification"
  click_part maria "$note" label lblViewDetail
  chat=$(window_id maria TNewMsgForm 'Ann Lee' 10) || die "View Detail opened no chat window"
  dump_line maria "^text\t$chat\tRichShow\t1\t" 10 >/dev/null || die "the picture is not in the chat pane"

  click_part maria "$chat" text RichED
  type_text maria "$chat" "Lovely, thanks for the picture "
  click_part maria "$chat" button tbEmotion
  local grid
  grid=$(window_id maria TQLMEmotions '' 10) || die "the emoticon grid did not open"
  click maria "$grid" 12,12
  keys maria "$chat" ctrl+Return
  dump_line maria "^text\t$chat\tRichShow\t2\t.*Lovely" 10 >/dev/null || die "Maria's answer is not in the chat pane"
  ann "Coffee in the garden at three?" || die "Ann's second message was not sent"
  dump_line maria "^text\t$chat\tRichShow\t2\t.*Coffee in the garden" 10 >/dev/null ||
    die "Ann's second line did not join the chat window"

  sleep 1 # the last repaint
  mkdir -p "$(dirname "$out")"
  gui_x maria import -window "$chat" "$out" || die "import could not capture window $chat"
  say "wrote $out ($(identify -format '%wx%h' "$out" 2>/dev/null))"
  echo quit >&"$ann_in"
}

# ---------------------------------------------------------------- entry

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit $?
fi

build="$kRoot/build/test"
out="$kRoot/docs/screenshots/chat.png"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    *) sed -n '10,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
[ "$(id -u)" -eq 0 ] || die "needs root for the lab's network namespaces (run with sudo)"
for tool in Xvfb xdotool convert import; do
  command -v "$tool" >/dev/null || die "$tool is missing (apt-get install xvfb xdotool imagemagick)"
done
for program in quillmate quillmate-cli; do
  [ -x "$build/bin/$program" ] || die "$build/bin/$program is not built"
done
timeout -s TERM "$kTimeout" "$kRoot/tests/lab/netlab.sh" run 2 -- bash "$0" --inside "$build" "$out" </dev/null
