#!/usr/bin/env bash
# Builds the Debian package from this build with CPack into a temporary folder
# and checks it: the file name, the control fields (Depends from shlibdeps,
# section net), the files it installs, and lintian without errors (its
# warnings are printed).
#   check_deb.sh BUILD_DIR APP_ID VERSION
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"
build=$1 id=$2 version=$3

require_tools cmake:cpack dpkg-dev:dpkg-shlibdeps dpkg:dpkg-deb lintian:lintian

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1; then
  fail "cpack: $(tail -n 20 "$work/cpack.log")"
  finish
fi
arch=$(dpkg --print-architecture)
deb="$work/out/quillmate_${version}_${arch}.deb"
if [ -f "$deb" ]; then pass "cpack wrote $(basename "$deb")"; else fail "no $(basename "$deb"): $(ls "$work/out")"; finish; fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Section)" = net ] && pass "Section: net" || fail "Section is '$(field Section)'"
depends=$(field Depends)
echo "  Depends: $depends"
for needed in libc6 libqt6core6 libqt6widgets6 libqt6sql6-sqlite; do
  echo "$depends" | grep -E "(^|, )$needed( |,|$)" >/dev/null && pass "Depends on $needed" || fail "Depends lacks $needed"
done
[ -n "$(field Maintainer)" ] && pass "Maintainer: $(field Maintainer)" || fail "no Maintainer"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for f in /usr/bin/quillmate /usr/bin/quillmate-cli /usr/share/quillmate/Languages/English.lng \
  "/usr/share/applications/$id.desktop" "/usr/share/metainfo/$id.metainfo.xml" \
  "/usr/share/icons/hicolor/scalable/apps/$id.svg" "/usr/share/icons/hicolor/48x48/apps/$id.png" \
  /usr/share/man/man1/quillmate.1.gz /usr/share/man/man1/quillmate-cli.1.gz \
  /usr/share/doc/quillmate/copyright /usr/share/doc/quillmate/changelog.gz \
  /usr/lib/systemd/user/quillmate-node.service; do
  echo "$contents" | grep -Fx "$f" >/dev/null || fail "not in the package: $f"
done
[ "$failures" -eq 0 ] && pass "the package holds programs, data, launcher, icons, manual pages, docs and the user unit"
dpkg-deb -x "$deb" "$work/root"
exec_start=$(sed -n 's/^ExecStart=//p' "$work/root/usr/lib/systemd/user/quillmate-node.service")
[ "$exec_start" = "/usr/bin/quillmate-cli listen" ] && pass "the user unit runs $exec_start" ||
  fail "the user unit's ExecStart is '$exec_start'"

lintian --no-cfg "$deb" >"$work/lintian.log" 2>&1
rc=$?
sed 's/^/  lintian: /' "$work/lintian.log"
if [ "$rc" -eq 0 ] && ! grep -E '^E: ' "$work/lintian.log" >/dev/null; then
  pass "lintian: no errors ($(grep -c '^W: ' "$work/lintian.log") warnings)"
else
  fail "lintian reports errors (exit $rc)"
fi

finish
