#!/usr/bin/env bash
# A GB2312 node (2052) and a Big5 node (1028) in the lab: each shows the
# other's nickname, message and broadcast in its own script, and so does its
# chat log; a third GB2312 node with AutoCodeConvert off shows them as sent.
#   QLM_CLI=path/to/quillmate-cli lab_chinese.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=500,minute=100"

# quillmate-cli as node NAME (its settings folder and language) on HOST, output in $QLM_LAB_DIR/OUT.out.
cli_as() {
  local name=$1 language=$2 host=$3 out=$4
  shift 4
  QUILLMATE_LANGID=$language labexec "$host" "$cli" --home "$QLM_LAB_DIR/home-$name" "$@" \
    >"$QLM_LAB_DIR/$out.out" 2>"$QLM_LAB_DIR/$out.err"
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  mkdir -p "$QLM_LAB_DIR/home-raw"
  "$cli" --home "$QLM_LAB_DIR/home-raw" settings set AutoCodeConvert false ||
    fail "AutoCodeConvert off for the third node"
  QUILLMATE_LANGID=2052 node_start gb 1 --nickname "台湾会"
  QUILLMATE_LANGID=1028 node_start big5 2 --nickname "臺灣會"
  QUILLMATE_LANGID=2052 node_start raw 3 --nickname "台湾会"
  for n in gb big5 raw; do expect_log "$n" '"event":"network-confirmed"' "$n listens"; done

  expect_log gb '"IPAddress":"10.77.0.2","NickName":"台湾会"' "the GB node sees the Big5 nickname converted"
  expect_log big5 '"IPAddress":"10.77.0.1","NickName":"臺灣會"' "the Big5 node sees the GB nickname converted"
  expect_log raw '"IPAddress":"10.77.0.2","NickName":"臺灣會"' "with AutoCodeConvert off the nickname stays as sent"

  cli_as big5 1028 2 send1 send --nickname "臺灣會" --to 10.77.0.1,10.77.0.3 "臺灣體會" ||
    fail "send from the Big5 node: $(cat "$QLM_LAB_DIR/send1.err")"
  expect_log gb '"NickName":"台湾会".*"Summary":"台湾体会\\r\\n".*"Text":"台湾体会.*"event":"WM_PEER_MESSAGE"' \
    "the GB node shows the Big5 message converted"
  expect_log raw '"NickName":"臺灣會".*"Summary":"臺灣體會\\r\\n".*"Text":"臺灣體會.*"event":"WM_PEER_MESSAGE"' \
    "with AutoCodeConvert off the message stays as sent"

  cli_as gb 2052 1 bc1 broadcast --nickname "台湾会" "台湾体会" ||
    fail "broadcast from the GB node: $(cat "$QLM_LAB_DIR/bc1.err")"
  expect_log big5 '"NickName":"臺灣會".*"Text":"臺灣體會".*"event":"WM_PEER_BROADCAST"' \
    "the Big5 node shows the GB broadcast converted"
  expect_log gb '"NickName":"台湾会".*"Text":"台湾体会".*"event":"WM_PEER_BROADCAST"' \
    "the GB node shows its own broadcast unchanged"

  for n in gb big5 raw; do node_stop "$n"; done

  # The logs keep what was received; reading them back converts again.
  if cli_as gb 2052 1 gblog log list --type single --json && grep -q '"first2Line":"台湾体会' "$QLM_LAB_DIR/gblog.out" &&
     grep -q '"langId":1028' "$QLM_LAB_DIR/gblog.out"; then
    pass "the GB node's log lists the Big5 message converted, with the sender's language"
  else
    fail "GB log: $(cat "$QLM_LAB_DIR/gblog.out" "$QLM_LAB_DIR/gblog.err")"
  fi
  if cli_as big5 1028 2 big5log log list --type broadcast --json && grep -q '"first2Line":"臺灣體會' "$QLM_LAB_DIR/big5log.out"; then
    pass "the Big5 node's log lists the GB broadcast converted"
  else
    fail "Big5 log: $(cat "$QLM_LAB_DIR/big5log.out" "$QLM_LAB_DIR/big5log.err")"
  fi
  if cli_as raw 2052 3 rawlog log list --type single --json && grep -q '"first2Line":"臺灣體會' "$QLM_LAB_DIR/rawlog.out"; then
    pass "with AutoCodeConvert off the log shows the message as sent"
  else
    fail "raw log: $(cat "$QLM_LAB_DIR/rawlog.out" "$QLM_LAB_DIR/rawlog.err")"
  fi
}

lab_test_main 3 -- "$@"
