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

readonly kTimeout=90
source "$(dirname "${BASH_SOURCE[0]}")/shotlib.sh" "$@"

# ---------------------------------------------------------------- inside the lab

inside() {
  local build=$1 out=$2

  # Wide enough for the tool bar's captions.
  gui_start maria 1 Maria MessageFormChatWidth=560 MessageFormChatHeight=440 || exit 1
  shot_ann_start
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

shot_entry "$kRoot/docs/screenshots/chat.png" "$@"
shot_need Xvfb xdotool convert import
shot_run 2
