#!/usr/bin/env bash
# Takes docs/screenshots/options.png: the options dialog of a real run on its
# Connection page, in broadcast mode, after its port was tested. Runs in a
# one-host test lab (tests/lab/netlab.sh): host 1 runs Xvfb and quillmate
# ("Maria"), driven through the program's QUILLMATE_STATE_DUMP file and
# xdotool (tests/lab/labgui_lib.sh).
#
#   sudo tools/optionsshot.sh [--build DIR] [--out FILE]
#     --build  the build tree with bin/quillmate and bin/quillmate-cli (build/test)
#     --out    the picture (docs/screenshots/options.png)
# Needs root, Xvfb, xdotool, and ImageMagick's import or the grabwindow tool
# (cmake --build DIR --target grabwindow).
set -u -o pipefail

readonly kTimeout=60
source "$(dirname "${BASH_SOURCE[0]}")/shotlib.sh" "$@"

# ---------------------------------------------------------------- inside the lab

inside() {
  local build=$1 out=$2

  gui_start maria 1 Maria UseUDPIPMulticast=0 || exit 1
  local main dialog at
  main=$(window_id maria TMainForm 'Quillmate - Maria' 20) || die "the main window is not shown"
  keys maria "$main" alt+t o
  dialog=$(window_id maria TOptionForm Options 10) || die "Alt+T, O opened no options dialog"
  at=$(dump_line maria "^row\t$dialog\ttvCategories\t1\t[0-9,]+\tConnection\$" 5 | cut -f5)
  click maria "$dialog" "$at"
  dump_line maria "^button\t$dialog\tbtnTestPort\t1\t" 5 >/dev/null || die "the Connection page is not shown"
  click_part maria "$dialog" button btnTestPort
  dump_line maria "^label\t$dialog\tlblPortState\t" 5 >/dev/null || die "the port test said nothing"

  sleep 1 # the last repaint
  mkdir -p "$(dirname "$out")"
  if command -v import >/dev/null; then
    gui_x maria import -window "$dialog" "$out" || die "import could not capture window $dialog"
  else
    gui_x maria "$build/tools/grabwindow" "$dialog" "$out" || die "grabwindow could not capture window $dialog"
  fi
  say "wrote $out"
}

# ---------------------------------------------------------------- entry

shot_entry "$kRoot/docs/screenshots/options.png" "$@"
shot_need Xvfb xdotool
command -v import >/dev/null || [ -x "$build/tools/grabwindow" ] ||
  die "neither ImageMagick's import nor $build/tools/grabwindow (cmake --build $build --target grabwindow)"
shot_run 1
