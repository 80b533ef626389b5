#!/usr/bin/env bash
# Takes docs/screenshots/floating-tag.png and capture.png from a real run in a
# two-host test lab (tests/lab/netlab.sh): host 1 runs Xvfb and quillmate
# ("Maria"), host 2 a headless node ("Ann Lee"). Maria shows Ann's floating
# tag from the online list's menu and drags it beside the main window; then she
# opens a message window to Ann, starts a screen capture and drags out a
# rectangle. Windows are found through the program's QUILLMATE_STATE_DUMP file
# and driven with xdotool (tests/lab/labgui_lib.sh); the pictures are parts of
# the whole Xvfb screen.
#
#   tools/desktopshot.sh [--build DIR] [--out FOLDER]   (as root)
#     --build  the build tree with bin/quillmate, bin/quillmate-cli and
#              tools/grabwindow (build/test)
#     --out    the folder for the two pictures (docs/screenshots)
# Needs root, Xvfb, xdotool and the grabwindow tool
# (cmake --build DIR --target grabwindow).
set -u -o pipefail

readonly kTimeout=120
source "$(dirname "${BASH_SOURCE[0]}")/shotlib.sh" "$@"

# ---------------------------------------------------------------- inside the lab

# geometry NAME ID: "x y w h" of a shown window from its state line.
geometry() {
  dump_line "$1" "^window\t$2\t" 5 | cut -f6 | tr ',' ' '
}

# grab NAME FILE X Y W H: that part of NAME's whole screen.
grab() {
  local name=$1 file=$2
  shift 2
  gui_x "$name" "$grabber" 0 "$file" "$@" || die "grabwindow could not capture the screen"
  say "wrote $file"
}

inside() {
  local build=$1 out=$2
  grabber="$build/tools/grabwindow"
  mkdir -p "$out"

  gui_start maria 1 Maria HideWhenCaptureScreen=0 || exit 1
  shot_ann_start

  local main row at
  main=$(window_id maria TMainForm 'Quillmate - Maria' 20) || die "the main window is not shown"
  row=$(dump_line maria "^row\t$main\ttvUser\t0\.\d+\t[0-9,]+\tAnn Lee\$" 20) ||
    die "Ann never came online: $(tail -c 600 "$QLM_LAB_DIR/maria.log")"
  at=$(cut -f5 <<<"$row")

  # The tag: "Show Floating Window" is the last item of the list's menu, its
  # bottom row (keys do not reach a menu on an X server with no window manager).
  click maria "$main" "$at"
  click maria "$main" "$at" click 3
  local menu ux uy uw uh
  menu=$(window_id maria QMenu '[^\t]*' 5) || die "the online list's menu did not open"
  read -r ux uy uw uh <<<"$(geometry maria "$menu")"
  gui_x maria xdotool mousemove --sync $((ux + uw / 2)) $((uy + uh - 12)) sleep 0.3 click 1
  local tag
  tag=$(window_id maria TFloatWindow '[^\t]*' 10) || die "Show Floating Window showed no tag: $(grep ^window "$QLM_LAB_DIR/maria.state")"
  local mx my mw mh tx ty tw th
  read -r mx my mw mh <<<"$(geometry maria "$main")"
  read -r tx ty tw th <<<"$(geometry maria "$tag")"
  # Dragged by hand to just right of the main window, level with the list's top.
  local nx=$((mx + mw + 24)) ny=$((my + 90))
  gui_x maria xdotool mousemove --sync $((tx + tw / 2)) $((ty + th / 2)) sleep 0.2 mousedown 1 sleep 0.2 \
    mousemove $((tx + tw / 2 + 10)) $((ty + th / 2 + 10)) sleep 0.2 \
    mousemove $((nx + tw / 2)) $((ny + th / 2)) sleep 0.2 mouseup 1 sleep 0.2 mousemove $((nx + tw + 60)) $((ny + 200))
  dump_line maria "^window\t$tag\tTFloatWindow\t[^\t]*\t[^\t]*\t$nx,$ny," 5 >/dev/null ||
    say "the tag did not land at $nx,$ny: $(geometry maria "$tag")"
  read -r tx ty tw th <<<"$(geometry maria "$tag")"
  sleep 1 # the last repaint
  local left=$((mx > 16 ? mx - 16 : 0)) top=$((my > 16 ? my - 16 : 0))
  grab maria "$out/floating-tag.png" "$left" "$top" $((tx + tw + 40 - left)) $((my + mh / 2 - top))

  # The capture overlay over a message window to Ann.
  click maria "$main" "$at" click --repeat 2 1
  local chat capture
  chat=$(window_id maria TNewMsgForm '[^\t]*' 10) || die "a double click on Ann opened no message window"
  click_part maria "$chat" text RichED
  type_text maria "$chat" "Ann, this is the list I see:"
  click_part maria "$chat" button tbCaptureScreen
  capture=$(window_id maria TCaptureWindow '[^\t]*' 10) || die "Capture Screen showed no capture window"
  sleep 0.5
  local cx cy cw ch
  read -r cx cy cw ch <<<"$(geometry maria "$chat")"
  read -r mx my mw mh <<<"$(geometry maria "$main")"
  # From the message window's tool bar down over the main window's foot: the
  # bright inside shows parts of both windows, the tip sits beside it.
  local x1=$((cx + 40)) y1=$((cy + ch - 130)) x2=$((cx + cw - 45)) y2=$((my + mh - 10))
  gui_x maria xdotool mousemove --sync "$x1" "$y1" sleep 0.2 mousedown 1 sleep 0.2 \
    mousemove $((x1 + 40)) $((y1 + 30)) sleep 0.2 mousemove "$x2" "$y2" sleep 0.2 mouseup 1
  sleep 1
  local sx=$((cx > 20 ? cx - 20 : 0)) sy=$((cy > 10 ? cy - 10 : 0))
  grab maria "$out/capture.png" "$sx" "$sy" $((x2 + 360 - sx)) $((y2 + 60 - sy))
  gui_x maria xdotool key Escape sleep 0.2 key Escape
  echo quit >&"$ann_in"
}

# ---------------------------------------------------------------- entry

shot_entry "$kRoot/docs/screenshots" "$@"
shot_need Xvfb xdotool
[ -x "$build/tools/grabwindow" ] || die "$build/tools/grabwindow is not built (cmake --build $build --target grabwindow)"
shot_run 2
