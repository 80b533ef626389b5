#!/usr/bin/env bash
# One command for a fresh Debian 12 machine:
#   ./build.sh run [ARGS...]   install what is missing, build (Release), start quillmate ARGS...
#   ./build.sh test            install what is missing, build with tests, run every test
#   ./build.sh build           install and build only
#   ./build.sh package         install, build (Release, prefix /usr) and write
#                              build/package/quillmate_<version>_<arch>.deb
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-multimedia-dev qt6-svg-dev libgl-dev
  libzip-dev libgsf-1-dev libgif-dev libpng-dev libopencc-dev
  libgtest-dev libgmock-dev libbenchmark-dev unrtf unzip sqlite3
  libsodium-dev samba smbclient libreoffice-writer-nogui poppler-utils
  libsmbclient-dev wsdd libavahi-client-dev avahi-daemon avahi-utils dbus
  fonts-dejavu-core fonts-droid-fallback fonts-noto-color-emoji
  iproute2 socat xvfb xauth xdotool xclip
  desktop-file-utils appstream lintian man-db dpkg-dev file
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  # Daemons among the packages (Samba, wsdd) must never start in the machine's
  # own network namespace: only the test lab runs them, inside its namespaces.
  local policy=/usr/sbin/policy-rc.d placed=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    placed=1
  fi
  local rc=0
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || rc=$?
  [ "$placed" -eq 1 ] && "${sudo[@]}" rm -f "$policy"
  return "$rc"
}

configure_and_build() {
  local dir=$1 type=$2 tests=$3
  shift 3
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQLM_BUILD_TESTS="$tests" "$@"
  cmake --build "$dir" --parallel "$(nproc)"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  run)
    install_packages
    configure_and_build build/release Release OFF
    exec build/release/bin/quillmate "$@"
    ;;
  test)
    install_packages
    configure_and_build build/test RelWithDebInfo ON
    cd build/test
    # Widget tests draw on the offscreen platform: no display needed.
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure --label-exclude bench "$@"
    ;;
  build)
    install_packages
    configure_and_build build/release Release OFF
    ;;
  package)
    install_packages
    configure_and_build build/package Release OFF -DCMAKE_INSTALL_PREFIX=/usr
    (cd build/package && cpack -G DEB)
    ls build/package/quillmate_*.deb
    ;;
  *)
    echo "usage: ./build.sh run [ARGS...] | test [CTEST ARGS...] | build | package" >&2
    exit 2
    ;;
esac
