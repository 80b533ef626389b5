#!/usr/bin/env bash
# Console messages to a real receiver: Samba's smbd/nmbd in lab hosts (one
# with the Western code page, one with GB2312) take what quillmate-cli sends
# and what Samba's own smbclient -M sends; the stored texts are compared byte
# for byte with what was sent. A name nobody has, and two names of which one
# fails, end in that name's error.
#   QLM_CLI=path/to/quillmate-cli lab_console.sh LABPROBE
set -u -o pipefail
export QLM_LAB_TIMEOUT=${QLM_LAB_TIMEOUT:-120}
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labsamba_lib.sh"

cli=${QLM_CLI:-}

# console LANGID OUT ARGS...: quillmate-cli console from h3.
console() {
  local language=$1 out=$2
  shift 2
  QUILLMATE_LANGID=$language labexec 3 "$cli" --home "$QLM_LAB_DIR/home" console "$@" \
    >"$QLM_LAB_DIR/$out.out" 2>"$QLM_LAB_DIR/$out.err"
}

# stored PEER FROM: the one message PEER stored from FROM (waits up to 10 s).
stored() {
  local peer=$1 from=$2 tries f
  for ((tries = 0; tries < 100; tries++)); do
    for f in "$QLM_LAB_DIR/$peer/msgs/msg-from-$from-to-"*.txt; do
      [ -e "$f" ] && { echo "$f"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

# expect_stored PEER FROM EXPECTEDFILE WHAT
expect_stored() {
  local peer=$1 from=$2 expected=$3 what=$4 file
  if file=$(stored "$peer" "$from") && cmp -s "$file" "$expected"; then
    pass "$what"
  else
    fail "$what (stored: $(od -c "${file:-/dev/null}" | head -3), wanted: $(od -c "$expected" | head -3))"
  fi
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  command -v smbd >/dev/null && command -v nmbd >/dev/null || { fail "Samba (smbd, nmbd) is not installed"; return; }
  mkdir -p "$QLM_LAB_DIR/home"
  samba_start latin 1 PEERLAT CP1252
  samba_start gb 2 PEERGB CP936
  samba_ready latin 1 PEERLAT && samba_ready gb 2 PEERGB || { fail "Samba receivers did not come up"; return; }
  pass "smbd and nmbd answer in h1 and h2"

  local ascii="Hello from Quillmate, plain ASCII 0123456789 !?"
  local latin="Grüße aus Köln: café, naïve, déjà vu, señor, Ærø — 50 €"
  local chinese="你好，世界。控制台消息测试：局域网信使。"
  local long
  long=$(python3 -c 'import sys; s="Quillmate console message, exactly 885 characters long. "; sys.stdout.write((s*20)[:885])')
  printf '%s' "$ascii" >"$QLM_LAB_DIR/ascii.txt"
  printf '%s' "$latin" >"$QLM_LAB_DIR/latin.txt"
  printf '%s' "$chinese" >"$QLM_LAB_DIR/chinese.txt"
  printf '%s' "$long" >"$QLM_LAB_DIR/long.txt"
  [ "$(printf '%s' "$long" | wc -m)" -eq 885 ] || fail "the long text is not 885 characters"

  # The reference sender first: what Samba's own client leaves.
  local latin_conf gb_conf
  latin_conf=$(samba_client_conf latin CP1252)
  gb_conf=$(samba_client_conf gb CP936)
  labexec 3 smbclient -s "$latin_conf" -M PEERLAT -U refascii -N <"$QLM_LAB_DIR/ascii.txt" >"$QLM_LAB_DIR/ref1.out" 2>&1 ||
    fail "smbclient -M PEERLAT: $(cat "$QLM_LAB_DIR/ref1.out")"
  expect_stored latin refascii "$QLM_LAB_DIR/ascii.txt" "smbclient -M stores the ASCII text as sent (reference)"
  labexec 3 smbclient -s "$gb_conf" -M PEERGB -U refgb -N <"$QLM_LAB_DIR/chinese.txt" >"$QLM_LAB_DIR/ref2.out" 2>&1 ||
    fail "smbclient -M PEERGB: $(cat "$QLM_LAB_DIR/ref2.out")"
  expect_stored gb refgb "$QLM_LAB_DIR/chinese.txt" "smbclient -M stores the GB2312 text as sent (reference)"

  if console 1033 ascii --to PEERLAT --from qlmascii "$ascii" && grep -qx "PEERLAT	OK" "$QLM_LAB_DIR/ascii.out"; then
    pass "the CLI reports PEERLAT OK for ASCII"
  else
    fail "ASCII send: $(cat "$QLM_LAB_DIR/ascii.out" "$QLM_LAB_DIR/ascii.err")"
  fi
  expect_stored latin qlmascii "$QLM_LAB_DIR/ascii.txt" "the ASCII text arrives byte for byte (one block)"

  console 1031 latin --to peerlat --from qlmlatin "$latin" || fail "Latin send: $(cat "$QLM_LAB_DIR/latin.out")"
  expect_stored latin qlmlatin "$QLM_LAB_DIR/latin.txt" "Latin text with accents arrives in CP1252, byte for byte"

  console 2052 chinese --to PEERGB --from qlmgb "$chinese" || fail "Chinese send: $(cat "$QLM_LAB_DIR/chinese.out")"
  expect_stored gb qlmgb "$QLM_LAB_DIR/chinese.txt" "Chinese text arrives in GB2312, byte for byte"
  if cmp -s "$(stored gb qlmgb)" "$(stored gb refgb)"; then
    pass "the CLI's Chinese message is stored exactly as smbclient's"
  else
    fail "the CLI's Chinese message differs from smbclient's"
  fi

  console 1033 long --to PEERLAT --from qlmlong "$long" || fail "885 characters: $(cat "$QLM_LAB_DIR/long.out")"
  expect_stored latin qlmlong "$QLM_LAB_DIR/long.txt" "exactly 885 characters arrive complete (start, text blocks, end)"
  console 1033 toolong --to PEERLAT --from qlmlong "${long}x"
  [ $? -eq 2 ] && pass "886 characters are bad usage (exit 2)" || fail "886 characters: $(cat "$QLM_LAB_DIR/toolong.err")"

  console 1033 missing --to NOSUCHPC --from qlmmissing "$ascii"
  local rc=$?
  if [ "$rc" -eq 1 ] && grep -qx "NOSUCHPC	The user name: qlmmissing could not be found." "$QLM_LAB_DIR/missing.out"; then
    pass "a name nobody has: exit 1 and its error"
  else
    fail "missing name: exit $rc, $(cat "$QLM_LAB_DIR/missing.out" "$QLM_LAB_DIR/missing.err")"
  fi

  console 1033 two --json --to NOSUCHPC,PEERLAT --from qlmtwo "$ascii"
  rc=$?
  if [ "$rc" -eq 1 ] && grep -q '"name":"PEERLAT".*"sent":true' "$QLM_LAB_DIR/two.out" &&
     grep -q '"code":2273.*"name":"NOSUCHPC".*"sent":false' "$QLM_LAB_DIR/two.out" &&
     [ "$(wc -l <"$QLM_LAB_DIR/two.out")" -eq 2 ]; then
    pass "two names, one failing: one JSON object each, exit 1"
  else
    fail "two names: exit $rc, $(cat "$QLM_LAB_DIR/two.out" "$QLM_LAB_DIR/two.err")"
  fi
  expect_stored latin qlmtwo "$QLM_LAB_DIR/ascii.txt" "the name that exists got its message"

  console 1033 tooname --to ABCDEFGHIJKLMNOPQ --from qlm "$ascii"
  grep -q "longer than 15 characters" "$QLM_LAB_DIR/tooname.out" && pass "a NetBIOS name longer than 15 is refused with a clear text" ||
    fail "long name: $(cat "$QLM_LAB_DIR/tooname.out")"
}

lab_test_main 3 -- "$@"
