# What the screenshot scripts (chatshot.sh, optionsshot.sh, desktopshot.sh)
# share: their command line and the lab they run in. A script sources it
# with its own arguments, defines inside BUILD OUT (the run in the lab) and
# ends with
#   shot_entry DEFAULT_OUT "$@"; shot_need TOOL...; shot_run HOSTS
# Run again inside the lab (--inside BUILD OUT), the lab libraries are loaded
# here, at the top level, so that their tables stay global.

readonly kRoot="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly kShotName="$(basename "$0" .sh)"

say() { echo "$kShotName: $*" >&2; }
die() { say "$*"; exit 1; }

if [ "${1:-}" = --inside ]; then
  source "$kRoot/tests/lab/labtest_lib.sh"
  source "$kRoot/tests/lab/labgui_lib.sh"
  # A picture is all or nothing: the first failed step ends the run.
  fail() { die "$*"; }
  pass() { :; }
  gui="$2/bin/quillmate"
  cli="$2/bin/quillmate-cli"
  export QUILLMATE_TIMINGS="$kGuiTimings"
fi

# shot_ann_start: the headless node "Ann Lee" on host 2; ann_in is its input
# ("quit" ends it).
shot_ann_start() {
  mkdir -p "$QLM_LAB_DIR/home-ann"
  printf '[Quillmate Settings]\r\nNickname=Ann Lee\r\nQLMId=SHOT-ANN\r\n' >"$QLM_LAB_DIR/home-ann/Config.ini"
  mkfifo "$QLM_LAB_DIR/ann.in"
  labexec 2 "$cli" --home "$QLM_LAB_DIR/home-ann" listen --nickname "Ann Lee" \
    <"$QLM_LAB_DIR/ann.in" >"$QLM_LAB_DIR/ann.log" 2>&1 &
  exec {ann_in}>"$QLM_LAB_DIR/ann.in"
}

# shot_entry DEFAULT_OUT ARGS...: inside the lab, runs inside BUILD OUT and
# exits; outside, reads --build and --out into build and out (the usage is the
# script's "#   " header lines) and needs root.
shot_entry() {
  local default_out=$1
  shift
  if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
    exit $?
  fi
  build="$kRoot/build/test"
  out=$default_out
  while [ $# -gt 0 ]; do
    case "$1" in
      --build) build=$(cd "$2" && pwd) || exit 2; shift 2 ;;
      --out) out=$(realpath -m "$2"); shift 2 ;;
      *) sed -n '/^#   /s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
  done
  [ "$(id -u)" -eq 0 ] || die "needs root for the lab's network namespaces (run with sudo)"
}

# shot_need TOOL...: each on PATH, or the package to install named.
shot_need() {
  local tool package
  for tool in "$@"; do
    case "$tool" in
      Xvfb) package=xvfb ;;
      convert | import | identify) package=imagemagick ;;
      *) package=$tool ;;
    esac
    command -v "$tool" >/dev/null || die "$tool is missing (apt-get install $package)"
  done
}

# shot_run HOSTS: this script again, inside a lab of HOSTS hosts, within kTimeout seconds.
shot_run() {
  local program
  for program in quillmate quillmate-cli; do
    [ -x "$build/bin/$program" ] || die "$build/bin/$program is not built"
  done
  timeout -s TERM "$kTimeout" "$kRoot/tests/lab/netlab.sh" run "$1" -- bash "$0" --inside "$build" "$out" </dev/null
}
