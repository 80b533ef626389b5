#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere so
# nothing can reach the build tree, and runs the installed programs there:
# the CLI finds its languages in share/quillmate and keeps user data in XDG
# folders, the desktop program starts (offscreen, network off) in the
# language chosen and ends cleanly, an autostart entry runs the launcher's
# command.
#   check_install.sh BUILD_DIR APP_ID
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"
build=$1 id=$2

work=$(mktemp -d)
gui=""
trap '[ -n "$gui" ] && kill -KILL "$gui" 2>/dev/null; rm -rf "$work"' EXIT
if ! cmake --install "$build" --prefix "$work/stage" >"$work/install.log" 2>&1; then
  fail "cmake --install: $(tail -n 5 "$work/install.log")"
  finish
fi
mv "$work/stage" "$work/prefix"
prefix=$work/prefix
echo "Installed files:"
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | grep -v '^share/quillmate/Emotions/' | sort | sed 's/^/  /')
echo "  share/quillmate/Emotions/: $(find "$prefix/share/quillmate/Emotions" -name '*.gif' | wc -l) GIFs"

# ------------------------------------------------------------------ the files
expected=(
  bin/quillmate bin/quillmate-cli bin/quillmate-update
  share/quillmate/Languages/English.lng share/quillmate/Help/Help.html share/quillmate/Help/Content.txt
  share/quillmate/Sounds/online.wav share/quillmate/Sounds/message.wav share/quillmate/Emotions/0.gif
  share/quillmate/Emotions/59.gif share/quillmate/GB_BIG5.ini
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$id.svg"
  share/man/man1/quillmate.1.gz share/man/man1/quillmate-cli.1.gz
  share/doc/quillmate/copyright share/doc/quillmate/changelog.gz lib/systemd/user/quillmate-node.service
)
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ "$failures" -eq 0 ] && pass "programs, runtime data, launcher, AppStream file, SVG icon, manual pages, docs and user unit installed"
# The unit names the program where the install put it (the prefix was moved since).
exec_start=$(sed -n 's/^ExecStart=//p' "$prefix/lib/systemd/user/quillmate-node.service")
[ "$exec_start" = "$work/stage/bin/quillmate-cli listen" ] && pass "user unit runs $exec_start" ||
  fail "user unit's ExecStart is '$exec_start'"
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  if file "$png" 2>/dev/null | grep -F "PNG image data, $size x $size," >/dev/null; then
    pass "icon ${size}x${size}"
  else
    fail "icon ${size}x${size}: $(file "$png" 2>&1)"
  fi
done
extra=$(ls "$prefix/bin" | grep -vx -e quillmate -e quillmate-cli -e quillmate-update)
[ -z "$extra" ] && pass "bin/ holds the three programs only" || fail "bin/ holds more: $extra"
for exe in quillmate quillmate-cli quillmate-update; do
  if readelf -d "$prefix/bin/$exe" 2>/dev/null | grep -E 'RPATH|RUNPATH' >/dev/null; then
    fail "$exe carries a RUNPATH"
  fi
done

# ------------------------------------------------------------ the installed CLI
home=$work/home
mkdir -p "$home/run"
chmod 700 "$home/run"
environment=(PATH="$prefix/bin:/usr/bin:/bin" HOME="$home" XDG_DATA_HOME="$home/data"
  XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run" LANG=C.UTF-8 QUILLMATE_NETWORK=off)
run() { env -i "${environment[@]}" "$@"; }
touch "$work/started"

version=$(run quillmate-cli --version)
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$prefix/share/metainfo/$id.metainfo.xml")
if [ "$version" = "quillmate-cli $release" ]; then
  pass "quillmate-cli --version: $version (the AppStream release)"
else
  fail "quillmate-cli --version gave '$version', the AppStream release is '$release'"
fi

run quillmate-cli settings set Nickname Tester || fail "settings set Nickname"
nick=$(run quillmate-cli settings get Nickname)
[ "$nick" = "Tester" ] && pass "settings get Nickname after set: $nick" || fail "settings get Nickname gave '$nick'"
if grep -a 'Nickname=Tester' "$home/data/Quillmate/Config.ini" >/dev/null 2>&1; then
  pass "settings saved in \$XDG_DATA_HOME/Quillmate/Config.ini"
else
  fail "no Config.ini in \$XDG_DATA_HOME/Quillmate: $(find "$home" -type f)"
fi

languages=$(run quillmate-cli languages | sort)
shipped=$(cd "$prefix/share/quillmate/Languages" && ls ./*.lng | sed 's|^\./||' | sort)
if [ -n "$shipped" ] && [ "$(echo "$languages" | cut -f2)" = "$shipped" ]; then
  pass "languages lists every file of share/quillmate/Languages ($(echo "$shipped" | wc -l))"
else
  fail "languages gave '$languages', share/quillmate/Languages holds '$shipped'"
fi

run quillmate-cli settings set AutoRun 1 || fail "settings set AutoRun"
exec_line=$(sed -n 's/^Exec=//p' "$home/config/autostart/quillmate.desktop" 2>/dev/null)
launcher_exec=$(sed -n 's/^Exec=//p' "$prefix/share/applications/$id.desktop")
if [ "$exec_line" = "$launcher_exec -min" ]; then
  pass "autostart entry runs the launcher's command: $exec_line"
else
  fail "autostart Exec is '$exec_line', the launcher's is '$launcher_exec'"
fi
# Where PATH does not find the installed program, the entry names it in full.
env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  QUILLMATE_NETWORK=off "$prefix/bin/quillmate-cli" settings set AutoRun 1 || fail "settings set AutoRun off PATH"
exec_line=$(sed -n 's/^Exec=//p' "$home/config/autostart/quillmate.desktop" 2>/dev/null)
if [ "$exec_line" = "\"$prefix/bin/quillmate\" -min" ]; then
  pass "autostart entry off PATH: $exec_line"
else
  fail "autostart Exec off PATH is '$exec_line'"
fi
if command -v desktop-file-validate >/dev/null; then
  expect_quiet "desktop-file-validate on the autostart entry" desktop-file-validate "$home/config/autostart/quillmate.desktop"
fi
run quillmate-cli settings set AutoRun 0 || fail "settings set AutoRun 0"

# ------------------------------------------------------- the installed desktop program
run quillmate-cli settings set UserInterfaceLanguageInUse Deutsch || fail "settings set UserInterfaceLanguageInUse"
state=$work/state
# Not through run(): $! must be the program itself (env replaces itself with it).
env -i "${environment[@]}" QT_QPA_PLATFORM=offscreen QUILLMATE_STATE_DUMP="$state" quillmate >"$work/gui.log" 2>&1 &
gui=$!
for ((tries = 0; tries < 150; tries++)); do
  grep -a '^window.*TMainForm' "$state" >/dev/null 2>&1 && break
  kill -0 "$gui" 2>/dev/null || break
  sleep 0.1
done
if grep -a $'^window\t.*\tTMainForm\t.*\tQuillmate - Tester\t' "$state" >/dev/null 2>&1; then
  pass "installed quillmate shows its main window"
else
  fail "no main window from the installed quillmate: $(cat "$state" 2>/dev/null) $(tail -c 400 "$work/gui.log")"
fi
# German texts come from share/quillmate/Languages/Deutsch.lng.
if grep -a 'Online-Benutzerliste' "$state" >/dev/null 2>&1; then
  pass "installed quillmate speaks German from share/quillmate"
else
  fail "installed quillmate did not load Deutsch.lng: $(cat "$state" 2>/dev/null)"
fi
kill -TERM "$gui" 2>/dev/null
for ((tries = 0; tries < 100; tries++)); do
  kill -0 "$gui" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$gui" 2>/dev/null; then
  kill -KILL "$gui"
  wait "$gui"
  gui=""
  fail "installed quillmate did not end on SIGTERM"
else
  wait "$gui"
  rc=$?
  gui=""
  [ "$rc" -eq 0 ] && pass "installed quillmate ends cleanly on SIGTERM" || fail "installed quillmate exited with $rc"
fi

written=$(find "$prefix" -newer "$work/started" -type f)
[ -z "$written" ] && pass "nothing written into the install" || fail "written into the install: $written"

finish
