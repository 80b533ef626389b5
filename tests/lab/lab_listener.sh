#!/usr/bin/env bash
# A host holding 100 idle TCP connections to a node does not delay a third
# host's connection: its header line is read and answered at once, and the
# node's listener counters show the flood.
# The third host sends a type no node serves, which the listener resets as
# soon as the whole line is in: the proof that its header was read while the
# idle ones sat there.
#   QLM_CLI=path/to/quillmate-cli lab_listener.sh LABPROBE
set -u -o pipefail
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"

cli=${QLM_CLI:-}
# Short intervals; the counters line every 300 ms when it changed.
export QUILLMATE_TIMINGS="load=50,repeat=300,signal=500,minute=100,counts=300"
readonly kIdle=100
# Generous: a header read without a worker is answered in milliseconds; a
# listener whose workers all wait for idle peers answers after a minute.
readonly kAnswerLimit=3

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  node_start n1 1
  expect_log n1 '"event":"network-confirmed"' "n1 listens"

  # Host 2 opens its idle connections and keeps them until the lab ends.
  labexec 2 bash -c '
    for ((i = 0; i < '"$kIdle"'; i++)); do exec {fd}<>/dev/tcp/10.77.0.1/'"$kLabPort"' || exit 1; done
    touch "$QLM_LAB_DIR/idle.ready"
    exec sleep 40' &
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    [ -e "$QLM_LAB_DIR/idle.ready" ] && break
    sleep 0.1
  done
  [ -e "$QLM_LAB_DIR/idle.ready" ] && pass "host 2 holds $kIdle connections to n1" ||
    fail "host 2 could not open $kIdle connections"
  # 32 are held, the others refused at once by the per-host cap.
  expect_log n1 '"event":"listener".*"open":32' "n1 holds 32 of host 2's connections"
  expect_log n1 '"host-connections":68' "n1 counts the 68 it refused"

  local start elapsed answer
  start=$(date +%s%N)
  answer=$(labexec 3 timeout "$kAnswerLimit" bash -c '
    exec 3<>/dev/tcp/10.77.0.1/'"$kLabPort"' || exit 1
    printf "QLM_NOSUCHREQUEST\t2\r\n" >&3
    cat <&3 >/dev/null 2>&1; echo closed')
  elapsed=$((($(date +%s%N) - start) / 1000000))
  if [ "$answer" = closed ]; then
    pass "host 3's header is read and answered in $elapsed ms while host 2 holds its connections"
  else
    fail "host 3's connection was not answered within $kAnswerLimit s"
  fi
  expect_log n1 '"bad-header":1' "n1 counts host 3's unknown type"
  if grep 'closed a connection from 10.77.0.3 (bad-header)' "$QLM_LAB_DIR/n1.err" >/dev/null &&
     grep 'closed a connection from 10.77.0.2 (host-connections)' "$QLM_LAB_DIR/n1.err" >/dev/null; then
    pass "n1 logs the refusals with their source addresses"
  else
    fail "n1's log lacks the refusals: $(tr '\n' ';' <"$QLM_LAB_DIR/n1.err")"
  fi
  if [ "$(grep -c 'host-connections' "$QLM_LAB_DIR/n1.err")" -eq 1 ]; then
    pass "68 refusals make one log line"
  else
    fail "the refusals flood the log: $(grep -c 'host-connections' "$QLM_LAB_DIR/n1.err") lines"
  fi

  node_stop n1
  expect_log n1 '"event":"listener".*"host-connections":68.*"final":true|"final":true.*"host-connections":68' \
    "n1's last line has the final counters"
}

lab_test_main 3 -- "$@"
