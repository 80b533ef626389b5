#!/usr/bin/env bash
# Updates between nodes of different versions (QUILLMATE_TEST_VERSION): an
# older node finds the newer one, not the one of its own version; fetches
# the offered files (compared byte for byte) while Config.ini and ../ paths
# are refused; signatures good, bad (another key, a file changed after
# signing) and missing once a key is set; a stream nobody asked for is
# refused; quillmate-update waits for the running program, replaces a portable
# folder's files and puts them back when the new program does not start.
#   QLM_CLI=path/to/quillmate-cli QLM_UPDATER=path/to/quillmate-update lab_update.sh LABPROBE
set -u -o pipefail
export QLM_LAB_TIMEOUT=120
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
updater=${QLM_UPDATER:-}
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=1000"

# cli_run NAME HOST VERSION ARGS...: quillmate-cli in home-NAME; output NAME.out, status NAME.rc.
cli_run() {
  local name=$1 host=$2 version=$3
  shift 3
  mkdir -p "$QLM_LAB_DIR/home-$name"
  labexec "$host" env QUILLMATE_TEST_VERSION="$version" timeout 40 "$cli" --home "$QLM_LAB_DIR/home-$name" "$@" \
    >"$QLM_LAB_DIR/$name.out" 2>"$QLM_LAB_DIR/$name.err"
  echo $? >"$QLM_LAB_DIR/$name.rc"
}
rc_of() { cat "$QLM_LAB_DIR/$1.rc"; }

# fetch_expect RC SIGNATURE WHAT: a fetch from the newer node by the older one.
fetch_expect() {
  local want_rc=$1 signature=$2 what=$3
  # The newer node takes checks and requests from one source at 1 a second
  # (bursts of 5); a fetch spends two, so back-to-back fetches wait them out.
  sleep 2
  cli_run fetch 2 1.0.0.1 update fetch --from 10.77.0.1 --json
  if [ "$(rc_of fetch)" = "$want_rc" ] && grep -F "\"Signature\":\"$signature\"" "$QLM_LAB_DIR/fetch.out" >/dev/null; then
    pass "$what"
  else
    fail "$what (exit $(rc_of fetch): $(cat "$QLM_LAB_DIR/fetch.out" "$QLM_LAB_DIR/fetch.err"))"
  fi
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  [ -x "$updater" ] || { fail "quillmate-update not found (QLM_UPDATER=$updater)"; return; }
  local new=$QLM_LAB_DIR/home-new same=$QLM_LAB_DIR/home-same old=$QLM_LAB_DIR/home-fetch
  mkdir -p "$new/Languages" "$same" "$old"
  printf '#!/bin/sh\necho new >"$(dirname "$0")/ran"\nsleep 3\n' >"$new/quillmate"
  head -c 200000 /dev/urandom >"$new/Languages/Extra.lng"
  printf '[2.0.0.0_1.0.0.1]\r\nA=quillmate\r\nB=Languages\\Extra.lng\r\n' >"$new/Update.ini"
  printf '[1.0.0.1_1.0.0.1]\r\nA=quillmate\r\n' >"$same/Update.ini"
  cp "$new/quillmate" "$same/quillmate"

  node_start_version new 1 2.0.0.0
  node_start_version same 3 1.0.0.1
  node_start_version oldlisten 4 1.0.0.1
  local n
  for n in new same oldlisten; do expect_log "$n" '"event":"network-confirmed"' "$n is up"; done

  # Only the newer node answers, with its list.
  cli_run check 2 1.0.0.1 update check --wait 2 --json
  if [ "$(rc_of check)" = 0 ] && [ "$(grep -c '"event":"update-answer"' "$QLM_LAB_DIR/check.out")" = 1 ] &&
    grep -F '"Files":["quillmate","Languages\\Extra.lng","Update.ini"]' "$QLM_LAB_DIR/check.out" |
    grep -F '"IPAddress":"10.77.0.1"' | grep -F '"Version":"2.0.0.0"' >/dev/null; then
    pass "update check: the newer node answers with its list, the node of the same version does not"
  else
    fail "update check (exit $(rc_of check)): $(cat "$QLM_LAB_DIR/check.out" "$QLM_LAB_DIR/check.err")"
  fi
  expect_log new '"event":"update-answered".*"source":"10.77.0.2"' "the newer node logs its answer"

  # Fetch without a key: the files arrive whole, the set is called not signed.
  fetch_expect 0 not-signed "update fetch stores the offered files (not signed)"
  if cmp -s "$new/Languages/Extra.lng" "$old/UPDATE/Languages/Extra.lng" && cmp -s "$new/quillmate" "$old/UPDATE/quillmate" &&
    cmp -s "$new/Update.ini" "$old/UPDATE/Update.ini"; then
    pass "UPDATE holds the three files byte for byte"
  else
    fail "UPDATE differs: $(ls -R "$old/UPDATE" 2>&1)"
  fi

  # A request for more than was offered: only the offered files go.
  send 2 --text $'QLM_UPDATEFILESTRANSFERREQUEST\t2\tEVIL\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\tConfig.ini\r\n../x\r\nquillmate\r\n' \
    --to 10.77.0.1 >/dev/null 2>&1
  expect_log new '"event":"update-pushed".*"refused":\["Config.ini","../x"\].*"sent":\["quillmate"\]' \
    "a request for Config.ini and ../x gets only the offered file"

  # A stream nobody asked for is refused and counted.
  labexec 3 bash -c 'printf "QLM_TRANSUPDATEFILE\t2\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\r\nquillmate\r\n\0\0\0\4evil SENDINGFILE_END\r\n" >/dev/tcp/10.77.0.4/7709' 2>/dev/null
  expect_log oldlisten '"event":"update-stream-refused".*"source":"10.77.0.3"' "a stream nobody asked for is refused and counted"
  [ -e "$QLM_LAB_DIR/home-oldlisten/UPDATE/quillmate" ] && fail "the refused stream left a file" ||
    pass "the refused stream stored nothing"

  # Signatures, once the older node trusts a key.
  local pub other
  pub=$("$cli" --home "$QLM_LAB_DIR/keys" update keygen --out "$QLM_LAB_DIR/good.key")
  other=$("$cli" --home "$QLM_LAB_DIR/keys" update keygen --out "$QLM_LAB_DIR/other.key")
  [ -n "$pub" ] && [ -n "$other" ] || fail "update keygen printed no public key"
  QUILLMATE_NETWORK=off "$cli" --home "$old" settings set UpdatePublicKey "$pub" || fail "settings set UpdatePublicKey"
  fetch_expect 1 missing "an unsigned set is refused once a key is set"
  "$cli" --home "$new" update sign --key "$QLM_LAB_DIR/other.key" >/dev/null || fail "update sign (other key)"
  fetch_expect 1 bad "a set signed with another key is refused"
  # Signed with the trusted key, then a file changed on the way: the file's hash, not the key, refuses it.
  local kept=$QLM_LAB_DIR/Extra.lng.kept
  cp "$new/Languages/Extra.lng" "$kept"
  "$cli" --home "$new" update sign --key "$QLM_LAB_DIR/good.key" >/dev/null || fail "update sign"
  printf 'changed after signing' >"$new/Languages/Extra.lng"
  fetch_expect 1 bad "a trusted signature over a file changed after signing is refused"
  cp "$kept" "$new/Languages/Extra.lng"
  fetch_expect 0 good "a set signed with the trusted key is taken"
  grep -F 'Update.sig' "$QLM_LAB_DIR/fetch.out" >/dev/null && pass "the signature travels with the set" ||
    fail "Update.sig was not among the fetched files"

  # The updater on a portable folder: replace, start, and put back when the new program fails.
  local portable=$QLM_LAB_DIR/portable
  mkdir -p "$portable/Languages"
  printf '#!/bin/sh\necho old >"$(dirname "$0")/ran"\nsleep 3\n' >"$portable/quillmate"
  chmod +x "$portable/quillmate"
  printf 'old' >"$portable/Languages/Extra.lng"
  install_list "$old/UPDATE" quillmate Languages/Extra.lng >"$QLM_LAB_DIR/install.txt"
  # The running program, which ends 2 s later and notes what it found then: the files must wait for it.
  bash -c 'sleep 2; cat "$1/Languages/Extra.lng" >"$1/seen-at-exit"' _ "$portable" &
  local running=$!
  "$updater" --wait-pid "$running" --source "$old/UPDATE" --target "$portable" --list "$QLM_LAB_DIR/install.txt" \
    --start "$portable/quillmate" --start-check-ms 500 2.0.0.0 2>"$QLM_LAB_DIR/updater.err"
  local rc=$?
  wait "$running"
  if [ "$(cat "$portable/seen-at-exit" 2>/dev/null)" = old ]; then
    pass "quillmate-update waits for the running program to end"
  else
    fail "quillmate-update replaced the files while the program ran (exit $rc)"
  fi
  wait_file_line "$portable/ran" new
  if [ "$rc" = 0 ] && cmp -s "$portable/Languages/Extra.lng" "$new/Languages/Extra.lng" &&
    [ "$(cat "$portable/ran" 2>/dev/null)" = new ] && ls -d "$portable"/UpdateBackup-* >/dev/null 2>&1; then
    pass "quillmate-update replaces the files, keeps a backup and starts the new program"
  else
    fail "quillmate-update exit $rc: $(cat "$QLM_LAB_DIR/updater.err")"
  fi
  printf '#!/bin/sh\nexit 1\n' >"$old/UPDATE/quillmate"
  printf 'newer' >"$old/UPDATE/Languages/Extra.lng"
  install_list "$old/UPDATE" quillmate Languages/Extra.lng >"$QLM_LAB_DIR/install.txt"
  cp "$portable/Languages/Extra.lng" "$QLM_LAB_DIR/before.lng"
  rm -f "$portable/ran"
  "$updater" --source "$old/UPDATE" --target "$portable" --list "$QLM_LAB_DIR/install.txt" \
    --start "$portable/quillmate" --start-check-ms 500 2.0.0.1 2>"$QLM_LAB_DIR/updater2.err"
  rc=$?
  wait_file_line "$portable/ran" new
  if [ "$rc" = 3 ] && cmp -s "$portable/Languages/Extra.lng" "$QLM_LAB_DIR/before.lng" &&
    grep 'echo new' "$portable/quillmate" >/dev/null && [ "$(cat "$portable/ran" 2>/dev/null)" = new ]; then
    pass "a new program that does not start: the old files are back and the old program runs"
  else
    fail "restore: exit $rc: $(cat "$QLM_LAB_DIR/updater2.err")"
  fi

  for n in new same oldlisten; do node_stop "$n"; done
}

# node_start_version NAME HOST VERSION: a listening node announcing VERSION.
node_start_version() {
  local name=$1 host=$2 version=$3 fd
  mkdir -p "$QLM_LAB_DIR/home-$name"
  mkfifo "$QLM_LAB_DIR/$name.in"
  labexec "$host" env QUILLMATE_TEST_VERSION="$version" "$cli" --home "$QLM_LAB_DIR/home-$name" listen --json \
    --nickname "$name" <"$QLM_LAB_DIR/$name.in" >"$QLM_LAB_DIR/$name.log" 2>"$QLM_LAB_DIR/$name.err" &
  node_pids[$name]=$!
  exec {fd}>"$QLM_LAB_DIR/$name.in"
  node_fds[$name]=$fd
}

# install_list FOLDER NAME...: "<sha256> <size> <name>" lines, as the check window writes them.
install_list() {
  local folder=$1 name
  shift
  for name in "$@"; do
    echo "$(sha256sum "$folder/$name" | cut -d' ' -f1) $(stat -c %s "$folder/$name") $name"
  done
}

wait_file_line() {
  local tries
  for ((tries = 0; tries < 50; tries++)); do
    [ "$(cat "$1" 2>/dev/null)" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

lab_test_main 4 -- "$@"
