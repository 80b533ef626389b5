# shellcheck shell=bash
# Helpers for the lab tests (sourced). A test script defines `checks` and ends
# with
#   lab_test_main N [netlab.sh run options] -- "$@"
# where "$@" starts with the path of labprobe. The script then runs itself
# inside `netlab.sh run`, and afterwards checks that the lab is gone.
# Every receive has a timeout; the whole run is bounded by kLabTimeout.
# Pipes end in `grep PATTERN >/dev/null`, not `grep -q`: under pipefail an
# early exit of grep can fail the command that writes into it.

readonly kLabPort=7709
readonly kLabGroup=234.0.0.1
# A test may allow itself longer by setting QLM_LAB_TIMEOUT before sourcing this.
readonly kLabTimeout=${QLM_LAB_TIMEOUT:-45}
readonly kLabDir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

probe=""
failures=0
declare -A recv_pids=()

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# recv_start NAME HOST [labprobe recv options]: a receiver on HOST, port 7709;
# its output goes to $QLM_LAB_DIR/NAME.out.
recv_start() {
  local name=$1 host=$2
  shift 2
  rm -f "$QLM_LAB_DIR/$name.ready"
  labexec "$host" "$probe" recv --port "$kLabPort" --ready-file "$QLM_LAB_DIR/$name.ready" "$@" \
    >"$QLM_LAB_DIR/$name.out" 2>"$QLM_LAB_DIR/$name.err" &
  recv_pids[$name]=$!
}

# Waits until the named receivers are bound (and joined), at most 5 s.
recv_ready() {
  local name tries
  for name in "$@"; do
    for ((tries = 0; tries < 50; tries++)); do
      [ -e "$QLM_LAB_DIR/$name.ready" ] && break
      sleep 0.1
    done
    [ -e "$QLM_LAB_DIR/$name.ready" ] || fail "receiver $name did not start: $(cat "$QLM_LAB_DIR/$name.err")"
  done
}

# recv_finish NAME: waits for the receiver; its exit status is the result.
recv_finish() {
  local rc
  wait "${recv_pids[$1]}"
  rc=$?
  unset "recv_pids[$1]"
  return "$rc"
}

# expect_got NAME PATTERN WHAT: the receiver got a datagram matching PATTERN.
expect_got() {
  local name=$1 pattern=$2 what=$3
  if recv_finish "$name" && grep -Eq -- "$pattern" "$QLM_LAB_DIR/$name.out"; then
    pass "$what"
  else
    fail "$what (wanted /$pattern/, got: $(cat "$QLM_LAB_DIR/$name.out" "$QLM_LAB_DIR/$name.err"))"
  fi
}

# expect_nothing NAME WHAT: the receiver timed out without any datagram.
expect_nothing() {
  local name=$1 what=$2 rc
  recv_finish "$name"
  rc=$?
  if [ "$rc" -eq 1 ] && [ ! -s "$QLM_LAB_DIR/$name.out" ]; then
    pass "$what"
  else
    fail "$what (exit $rc, got: $(cat "$QLM_LAB_DIR/$name.out"))"
  fi
}

# send HOST [labprobe send options]: one datagram to port 7709 from HOST.
send() {
  local host=$1
  shift
  labexec "$host" "$probe" send --port "$kLabPort" "$@"
}

# Headless nodes (quillmate-cli listen --json, path in $cli), one per name.
declare -A node_pids=() node_fds=()

# node_start NAME HOST [listen options]: a node whose commands come from a fifo.
node_start() {
  local name=$1 host=$2 fd
  shift 2
  mkdir -p "$QLM_LAB_DIR/home-$name"
  mkfifo "$QLM_LAB_DIR/$name.in"
  labexec "$host" "$cli" --home "$QLM_LAB_DIR/home-$name" listen --json --nickname "$name" "$@" \
    <"$QLM_LAB_DIR/$name.in" >"$QLM_LAB_DIR/$name.log" 2>"$QLM_LAB_DIR/$name.err" &
  node_pids[$name]=$!
  exec {fd}>"$QLM_LAB_DIR/$name.in"
  node_fds[$name]=$fd
}

node_cmd() { echo "$2" >&"${node_fds[$1]}"; }

# node_stop NAME: "quit" on its input; it logs off and exits 0.
node_stop() {
  local name=$1 rc
  node_cmd "$name" quit
  wait "${node_pids[$name]}"
  rc=$?
  unset "node_pids[$name]"
  [ "$rc" -eq 0 ] && pass "$name stops with status 0" || fail "$name exited $rc: $(cat "$QLM_LAB_DIR/$name.err")"
}

# wait_log NAME REGEX [SECONDS]: true once the node's log has a matching line.
wait_log() {
  local name=$1 pattern=$2 limit=${3:-8} tries
  for ((tries = 0; tries < limit * 10; tries++)); do
    grep -E -- "$pattern" "$QLM_LAB_DIR/$name.log" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

expect_log() {
  if wait_log "$1" "$2" "${4:-8}"; then pass "$3"; else fail "$3 (no /$2/ in $1's log)"; fi
}

host_links() { ip -o link show | awk -F': ' '{print $2}' | sort; }

# What every lab test checks about the lab itself while it stands.
lab_layout_checks() {
  local links_before=$1 h
  if host_links | cmp -s - "$links_before"; then
    pass "the lab adds no interface to the calling namespace"
  else
    fail "interfaces of the calling namespace changed: $(host_links | diff "$links_before" - | tr '\n' ' ')"
  fi
  if ip -n "${QLM_LAB_PREFIX}br" -d link show br0 2>/dev/null | grep 'mcast_snooping 0' >/dev/null; then
    pass "the bridge lives in ${QLM_LAB_PREFIX}br without multicast snooping"
  else
    fail "no bridge br0 with mcast_snooping 0 in ${QLM_LAB_PREFIX}br"
  fi
  for ((h = 1; h <= QLM_LAB_HOSTS; h++)); do
    labexec "$h" ip -o addr show dev eth0 | grep "inet 10.77.0.$h/24" >/dev/null &&
      labexec "$h" ip route show default | grep 'dev eth0' >/dev/null &&
      labexec "$h" ip -o link show dev lo | grep 'UP' >/dev/null ||
      fail "h$h lacks 10.77.0.$h/24, the default route on eth0 or loopback"
  done
}

lab_test_main() {
  local netlab_args=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    netlab_args+=("$1")
    shift
  done
  shift
  probe=${1:-}
  if [ "${2:-}" = --inside ]; then
    echo "$QLM_LAB_PREFIX" >"$3"
    lab_layout_checks "$4"
    checks
    local name
    for name in "${!recv_pids[@]}"; do recv_finish "$name"; done
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
    exit 0
  fi

  if [ -z "$probe" ] || [ ! -x "$probe" ]; then
    echo "FAIL: labprobe not found (got \"$probe\"); build the labprobe target" >&2
    exit 1
  fi
  local work rc prefix
  work=$(mktemp -d) || exit 1
  host_links >"$work/links"
  timeout -s TERM "$kLabTimeout" "$kLabDir/netlab.sh" run "${netlab_args[@]}" -- \
    bash "$0" "$probe" --inside "$work/prefix" "$work/links" </dev/null
  rc=$?
  prefix=$(cat "$work/prefix" 2>/dev/null)
  rm -rf -- "$work"
  [ "$rc" -eq 77 ] && exit 77
  [ "$rc" -eq 124 ] && echo "FAIL: the lab test took longer than $kLabTimeout s" >&2
  if [ -z "$prefix" ]; then
    echo "FAIL: the checks never ran inside the lab (netlab.sh exit $rc)" >&2
    exit 1
  fi
  if ip netns list | awk '{print $1}' | grep "^$prefix" >/dev/null; then
    echo "FAIL: namespaces of $prefix are left behind" >&2
    exit 1
  fi
  echo "ok: no namespace of $prefix is left"
  exit "$rc"
}

# The last online list a node printed, as "nick@ip self" lines, sorted.
list_of() {
  local name=$1 before
  before=$(grep -c '"event":"online-list"' "$QLM_LAB_DIR/$name.log")
  node_cmd "$name" list
  for ((tries = 0; tries < 50; tries++)); do
    [ "$(grep -c '"event":"online-list"' "$QLM_LAB_DIR/$name.log")" -gt "$before" ] && break
    sleep 0.1
  done
  grep '"event":"online-list"' "$QLM_LAB_DIR/$name.log" | tail -n 1 |
    grep -o '{[^{}]*"NickName":"[^"]*"[^{}]*}' |
    sed -E 's/.*"IPAddress":"([^"]*)".*"IsSelf":(true|false).*"NickName":"([^"]*)".*/\3@\1 \2/' | sort
}
