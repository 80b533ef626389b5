# shellcheck shell=bash
# Helpers for the install checks (sourced). Each check prints "ok: ..." or
# "FAIL: ..."; a script ends with `finish`. A tool that is not installed makes
# the whole script exit 77, which CTest reports as skipped.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# require_tools PACKAGE:TOOL...: skip with the package to install when a tool is missing.
require_tools() {
  local item
  for item in "$@"; do
    if ! command -v "${item#*:}" >/dev/null 2>&1; then
      echo "SKIP: ${item#*:} is not installed (apt-get install ${item%%:*}; ./build.sh test installs it)"
      exit 77
    fi
  done
}

# expect_quiet WHAT COMMAND...: the command succeeds and prints nothing.
expect_quiet() {
  local what=$1 output rc
  shift
  output=$("$@" 2>&1)
  rc=$?
  if [ "$rc" -eq 0 ] && [ -z "$output" ]; then pass "$what"; else fail "$what (exit $rc): $output"; fi
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  exit 0
}
