#!/usr/bin/env bash
# The manual pages render without a warning, and quillmate-cli(1) names every
# command and option that `quillmate-cli --help` lists, so neither can drift;
# every QUILLMATE_ variable the program reads is in one of the pages.
#   check_man_pages.sh QUILLMATE_CLI SOURCE_DIR
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/install_lib.sh"
cli=$1 source=$2
pages=("$source/packaging/quillmate.1" "$source/packaging/quillmate-cli.1")

require_tools man-db:man

for page in "${pages[@]}"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] && pass "$(basename "$page") renders without warnings" || fail "$(basename "$page"): $warnings"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" ENVIRONMENT FILES "SEE ALSO"; do
    grep -Fx ".SH $section" "$page" >/dev/null || fail "$(basename "$page") has no $section section"
  done
done

# The page's text without font changes, with \- as -.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/^\.[A-Z]* //' "$1"; }
cli_page=$(plain "$source/packaging/quillmate-cli.1")

help=$("$cli" --help) || fail "quillmate-cli --help failed"
# Commands: the leading lower-case words of each entry ("settings get", "log compact").
commands=$(echo "$help" | grep -E '^  [a-z]' | sed -E 's/^  //; s/  .*//; s/ [^a-z].*//')
options=$(echo "$help" | grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ -n "$commands" ] && [ -n "$options" ] || fail "no commands or options read from --help"
for item in $(echo "$commands" | tr ' ' '\001') $options; do
  item=$(echo "$item" | tr '\001' ' ')
  if echo "$cli_page" | grep -wF -e "$item" >/dev/null; then
    pass "quillmate-cli.1 names '$item'"
  else
    fail "quillmate-cli.1 does not name '$item' from --help"
  fi
done

all_pages=$(for page in "${pages[@]}"; do plain "$page"; done)
for variable in $(grep -rhoE 'QUILLMATE_[A-Z_]+' "$source/src" | sort -u); do
  echo "$all_pages" | grep -F "$variable" >/dev/null && pass "a page explains $variable" ||
    fail "no page explains $variable"
done

finish
