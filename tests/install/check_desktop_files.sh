#!/usr/bin/env bash
# The launcher and the AppStream file as built: both validators pass without a
# warning, every language file with a Locale gives its translation, and the
# launcher matches what the program tells the desktop about itself.
#   check_desktop_files.sh LAUNCHER METAINFO LANGUAGES_DIR SOURCE_DIR
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"
launcher=$1 metainfo=$2 languages=$3 source=$4

require_tools desktop-file-utils:desktop-file-validate appstream:appstreamcli

expect_quiet "desktop-file-validate $(basename "$launcher")" desktop-file-validate "$launcher"

output=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1)
rc=$?
echo "$output" | sed 's/^/  appstreamcli: /'
if [ "$rc" -eq 0 ] && ! echo "$output" | grep -E '^[EW]: ' >/dev/null; then
  pass "appstreamcli validate --no-net: no errors or warnings"
else
  fail "appstreamcli validate --no-net (exit $rc)"
fi

for lng in "$languages"/*.lng; do
  locale=$(sed -n 's/\r$//; s/^Locale=//p' "$lng" | head -n 1)
  [ -n "$locale" ] || continue
  text=$(sed -n 's/\r$//; s/^A messenger for the computers of a local network, without a server\.=//p' "$lng")
  if grep -Fx "Comment[$locale]=$text" "$launcher" >/dev/null; then
    pass "launcher comment in $locale from $(basename "$lng")"
  else
    fail "launcher has no Comment[$locale]=$text"
  fi
  if grep -F "<summary xml:lang=\"$locale\">" "$metainfo" >/dev/null; then
    pass "AppStream summary in $locale"
  else
    fail "AppStream file has no summary in $locale"
  fi
done

# The window's X11 class is the application name; the id is the desktop file name.
app_unit="$source/src/app/DesktopAppUnit.cpp"
app_name=$(sed -n 's/.*setApplicationName(QStringLiteral("\([^"]*\)")).*/\1/p' "$app_unit")
if [ -n "$app_name" ] && grep -Fx "StartupWMClass=$app_name" "$launcher" >/dev/null; then
  pass "StartupWMClass is the application name $app_name"
else
  fail "StartupWMClass does not match setApplicationName (\"$app_name\") in $app_unit"
fi
if grep -F 'setDesktopFileName(QStringLiteral(QLM_APP_ID))' "$app_unit" >/dev/null; then
  pass "the program names its desktop file"
else
  fail "DesktopAppUnit.cpp does not call setDesktopFileName with QLM_APP_ID"
fi
id=$(basename "$launcher" .desktop)
if grep -Fx "  <launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" >/dev/null &&
   grep -Fx "  <id>$id</id>" "$metainfo" >/dev/null && grep -Fx "Icon=$id" "$launcher" >/dev/null; then
  pass "launcher, icon and AppStream file share the id $id"
else
  fail "the id $id is not the AppStream id, launchable and icon"
fi

finish
