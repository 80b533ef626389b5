#!/usr/bin/env bash
# Files and folders between headless nodes: `sendfile` from host 1 into
# `listen` nodes that accept by themselves (host 2), accept by hand (host 3)
# and decline (host 4); everything that arrives is compared byte for byte.
# The packed archive opens with unzip; Ctrl+C withdraws a waiting offer and
# leaves no archive behind; a hostile stream never writes outside the folder.
#   QLM_CLI=path/to/quillmate-cli lab_files.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=1000"

# sendfile_run NAME HOST ARGS...: sendfile from HOST; output in NAME.out, status in NAME.rc.
sendfile_run() {
  local name=$1 host=$2
  shift 2
  mkdir -p "$QLM_LAB_DIR/home-$name"
  labexec "$host" timeout 30 "$cli" --home "$QLM_LAB_DIR/home-$name" sendfile --nickname "$name" "$@" \
    >"$QLM_LAB_DIR/$name.out" 2>"$QLM_LAB_DIR/$name.err"
  echo $? >"$QLM_LAB_DIR/$name.rc"
}

# The one sender folder under a node's received files.
inbox_of() { ls -d "$QLM_LAB_DIR/home-$1/Files/"From_"$2"\(*\) 2>/dev/null | head -n 1; }

# "relative-path sha256" of every file under a folder, sorted.
sums() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum); }

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  command -v unzip >/dev/null || { fail "unzip is not installed"; return; }
  local src=$QLM_LAB_DIR/src
  mkdir -p "$src/Photos/2024/empty" "$src/Photos/Ünïcode 报告"
  head -c 5000000 /dev/urandom >"$src/big.bin"
  printf 'plain text\n' >"$src/report.doc"
  : >"$src/Makefile"
  head -c 300000 /dev/urandom >"$src/Photos/2024/a.jpg"
  printf 'x' >"$src/Photos/Ünïcode 报告/фото.txt"
  printf 'hidden' >"$src/Photos/.hidden"

  node_start auto 2
  node_start manual 3 --no-auto-files --accept-files
  node_start refuse 4 --no-auto-files
  local n
  for n in auto manual refuse; do expect_log "$n" '"event":"network-confirmed"' "$n is up"; done

  # Automatic acceptance: three files and a folder.
  sendfile_run s1 1 --to 10.77.0.2 --json "$src/big.bin" "$src/report.doc" "$src/Makefile" "$src/Photos"
  if [ "$(cat "$QLM_LAB_DIR/s1.rc")" = 0 ] && [ "$(grep -c '"error":"","event":"file".*"result":"sent"' "$QLM_LAB_DIR/s1.out")" = 4 ]; then
    pass "sendfile reports four items sent, with no error, and exits 0"
  else
    fail "sendfile exited $(cat "$QLM_LAB_DIR/s1.rc"): $(cat "$QLM_LAB_DIR/s1.out" "$QLM_LAB_DIR/s1.err")"
  fi
  expect_log auto '"event":"WM_PEER_FILES"' "the auto-accepting node reports the arrival"
  local inbox
  inbox=$(inbox_of auto s1)
  if [ -n "$inbox" ] && cmp -s "$src/big.bin" "$inbox/big.bin" && cmp -s "$src/report.doc" "$inbox/report.doc" &&
     cmp -s "$src/Makefile" "$inbox/Makefile"; then
    pass "the three files arrived byte-identical"
  else
    fail "files differ or are missing in '$inbox': $(ls -la "$inbox" 2>&1 | tr '\n' ';')"
  fi
  if [ -n "$inbox" ] && [ "$(sums "$src/Photos")" = "$(sums "$inbox/Photos")" ] && [ -d "$inbox/Photos/2024/empty" ] &&
     [ ! -e "$inbox/Photos.zip" ]; then
    pass "the folder arrived unpacked, every file's SHA-256 equal, its empty folder kept, no archive left"
  else
    fail "folder differs: $(diff <(sums "$src/Photos") <(sums "$inbox/Photos" 2>/dev/null) | tr '\n' ';')"
  fi
  grep '"event":"WM_PEER_FILES"' "$QLM_LAB_DIR/auto.log" | grep '"Complete":true' | grep '"Body":"big.bin\\r\\nreport.doc\\r\\nMakefile\\r\\n\\tPhotos\\r\\n"' >/dev/null &&
    pass "the event lists the stored names, the folder with its tab" || fail "event: $(grep WM_PEER_FILES "$QLM_LAB_DIR/auto.log")"
  [ -z "$(ls -A "$QLM_LAB_DIR/home-s1/TempFolder" 2>/dev/null)" ] && pass "the sender deleted its archive" ||
    fail "archives left: $(ls "$QLM_LAB_DIR/home-s1/TempFolder")"

  # The same again: numbered names and a numbered folder.
  sendfile_run s1 1 --to 10.77.0.2 "$src/report.doc" "$src/Makefile" "$src/Photos"
  # The receiver unpacks after the sender is done: wait for its report of the repeat.
  expect_log auto '"Body":"report\(1\)\.doc.*"event":"WM_PEER_FILES"' "the repeat arrives" 20
  if cmp -s "$src/report.doc" "$inbox/report(1).doc" && [ -e "$inbox/(1)Makefile" ] && [ -d "$inbox/Photos(1)/2024" ]; then
    pass "repeats are stored as report(1).doc, (1)Makefile and Photos(1)"
  else
    fail "after the second send: $(ls "$inbox" | tr '\n' ';')"
  fi
  grep -E '^sent .*report.doc$' "$QLM_LAB_DIR/s1.out" >/dev/null && pass "plain output says sent per file" ||
    fail "plain output: $(cat "$QLM_LAB_DIR/s1.out")"

  # Accepted by hand: the handshake with the dialog's handle.
  sendfile_run s2 1 --to 10.77.0.3 --json "$src/report.doc"
  [ "$(cat "$QLM_LAB_DIR/s2.rc")" = 0 ] && pass "a node that accepts by hand receives the file" ||
    fail "s2 exited $(cat "$QLM_LAB_DIR/s2.rc"): $(cat "$QLM_LAB_DIR/s2.out" "$QLM_LAB_DIR/s2.err")"
  expect_log manual '"event":"WM_PEER_FILEREQUEST"' "the manual node reports the offer"
  expect_log manual '"event":"WM_PEER_FILES"' "the manual node reports the arrival" 20
  grep '"event":"WM_PEER_FILEREQUEST"' "$QLM_LAB_DIR/manual.log" | grep '"OfferedFiles":1' |
    grep -F '"OfferedNames":["report.doc"]' >/dev/null && pass "the offer names its file and its size" ||
    fail "offer: $(grep WM_PEER_FILEREQUEST "$QLM_LAB_DIR/manual.log")"
  grep '"event":"receive-progress"' "$QLM_LAB_DIR/manual.log" | grep '"Final":true' | grep '"Files":1' |
    grep '"TotalFiles":1' >/dev/null && pass "the receiving node reports its progress against the offer's total" ||
    fail "progress: $(grep receive-progress "$QLM_LAB_DIR/manual.log")"
  if grep '"event":"WM_PEER_FILES"' "$QLM_LAB_DIR/manual.log" | grep -E '"RequestHandle":[1-9]' >/dev/null &&
     cmp -s "$src/report.doc" "$(inbox_of manual s2)/report.doc"; then
    pass "the stream names the accepting dialog's handle and the file is identical"
  else
    fail "manual log: $(grep WM_PEER_FILES "$QLM_LAB_DIR/manual.log")"
  fi

  # Declined.
  sendfile_run s3 1 --to 10.77.0.4 "$src/report.doc"
  if [ "$(cat "$QLM_LAB_DIR/s3.rc")" = 1 ] && grep '^declined by 10.77.0.4' "$QLM_LAB_DIR/s3.out" >/dev/null &&
     [ -z "$(inbox_of refuse s3)" ]; then
    pass "a declined offer exits 1, says so and stores nothing"
  else
    fail "s3 exited $(cat "$QLM_LAB_DIR/s3.rc"): $(cat "$QLM_LAB_DIR/s3.out")"
  fi

  # Nobody answers on host 5: the archive waits in TempFolder; unzip reads it; Ctrl+C withdraws.
  mkdir -p "$QLM_LAB_DIR/home-s4"
  # Straight through ip netns exec (it execs the program), so the pid is sendfile itself.
  ip netns exec "${QLM_LAB_PREFIX}h1" "$cli" --home "$QLM_LAB_DIR/home-s4" sendfile --nickname s4 --to 10.77.0.5 \
    "$src/Photos" >"$QLM_LAB_DIR/s4.out" 2>&1 &
  local s4=$! tries
  for ((tries = 0; tries < 100; tries++)); do
    grep '^offered' "$QLM_LAB_DIR/s4.out" >/dev/null 2>&1 && break
    sleep 0.1
  done
  if unzip -tq "$QLM_LAB_DIR/home-s4/TempFolder/Photos.zip" >/dev/null 2>&1 &&
     unzip -Z1 "$QLM_LAB_DIR/home-s4/TempFolder/Photos.zip" | grep -F 'Ünïcode 报告/фото.txt' >/dev/null; then
    pass "the packed archive tests clean with unzip and keeps the unicode names"
  else
    fail "unzip on the archive: $(unzip -tq "$QLM_LAB_DIR/home-s4/TempFolder/Photos.zip" 2>&1)"
  fi
  kill -INT "$s4"
  wait "$s4"
  local rc=$?
  if [ "$rc" = 1 ] && grep 'offer withdrawn' "$QLM_LAB_DIR/s4.out" >/dev/null &&
     [ ! -e "$QLM_LAB_DIR/home-s4/TempFolder/Photos.zip" ]; then
    pass "Ctrl+C withdraws the waiting offer, exits 1 and deletes the archive"
  else
    fail "after Ctrl+C: exit $rc, $(cat "$QLM_LAB_DIR/s4.out")"
  fi

  # A hostile stream straight to host 2's port: refused names, the good file stored.
  labexec 1 bash -c 'exec 3<>/dev/tcp/10.77.0.2/7709
    printf "QLM_FILE\t2\t1033\tevil\tEVILPC\t0\t_NULL_\t_NULL_\t_NULL_\t_NULL_\t_NULL_\r\n" >&3
    printf "../../../escape.txt\r\nSENDINGFILE_START\r\n\x00\x00\x00\x04pwnd" >&3
    printf "/tmp/qlm-lab-escape.txt\r\nSENDINGFILE_START\r\n\x00\x00\x00\x04pwnd" >&3
    printf "good.txt\r\nSENDINGFILE_START\r\n\x00\x00\x00\x04fine" >&3
    printf "SENDINGFILE_END\r\n" >&3
    exec 3>&-'
  expect_log auto '"NickName":"evil".*"event":"WM_PEER_FILES"|"event":"WM_PEER_FILES".*"NickName":"evil"' "the hostile stream is reported"
  local evil
  evil=$(inbox_of auto evil)
  if [ "$(ls "$evil" 2>/dev/null)" = good.txt ] && [ ! -e /tmp/qlm-lab-escape.txt ] &&
     [ -z "$(find "$QLM_LAB_DIR" -name escape.txt)" ] &&
     grep '"NickName":"evil"' "$QLM_LAB_DIR/auto.log" | grep '"Failed":\[{"Name":"../../../escape.txt"' >/dev/null; then
    pass "hostile names are refused and named, the next file is stored"
  else
    fail "hostile stream left: $(ls -la "$evil" 2>&1 | tr '\n' ';') $(grep evil "$QLM_LAB_DIR/auto.log")"
  fi

  for n in auto manual refuse; do node_stop "$n"; done
}

lab_test_main 5 -- "$@"
