#!/usr/bin/env bash
# Test lab: N hosts as network namespaces on one Ethernet segment, so that
# multicast, broadcast to 255.255.255.255 and the self-check behave as on a
# real LAN while nothing leaves the machine. See tests/lab/README.md.
#
#   netlab.sh run N [OPTIONS] -- COMMAND...
#       Builds the lab, runs COMMAND in the calling namespace with
#       QLM_LAB_PREFIX, QLM_LAB_HOSTS, QLM_LAB_DIR, QLM_LAB_NETLAB and the
#       bash functions labexec/labaddr exported, removes the lab again and
#       returns COMMAND's exit status.
#       OPTIONS:
#         --extra-addrs HOST COUNT   COUNT more addresses 10.77.1.1, 10.77.1.2, ...
#                                    (/32 each) on HOST's eth0; the list is in
#                                    $QLM_LAB_DIR/extra-addrs-hHOST
#         --second-link HOST[,HOST]  these hosts get eth1 10.78.0.HOST/24 on a
#                                    second segment; their default route stays eth0
#         --no-self-broadcast HOST   HOST's datagrams to 255.255.255.255 still reach
#                                    the others but never come back to HOST
#         --no-broadcast-route HOST  sending to 255.255.255.255 fails on HOST
#                                    ("No route to host"); other traffic works
#   netlab.sh exec HOST COMMAND...   run COMMAND in host HOST of the lab named by
#                                    QLM_LAB_PREFIX (what labexec does)
#   netlab.sh cleanup-stale          remove the namespaces of lab runs that died
#
# Exit status 77 (and a one-line reason) when the lab cannot be built here:
# not root, no `ip netns`, or namespaces not permitted.
set -u -o pipefail

readonly kNamePrefix=qlmlab-
readonly kSkip=77
readonly kMaxHosts=250
readonly kMaxExtraAddrs=64000
readonly kSelf="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"

lab_prefix=""
lab_dir=""
child=""

say() { echo "netlab: $*" >&2; }
die() { say "$*"; exit 1; }
skip() { say "skipped: $*"; exit "$kSkip"; }

usage() {
  sed -n '6,26p' "$kSelf" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

require_lab_tools() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
  command -v ip >/dev/null 2>&1 || skip "the ip command (iproute2) is not installed"
  ip netns list >/dev/null 2>&1 || skip "ip netns is not available here"
}

# Host numbers and counts: plain decimal, no leading zero (h01 is no host).
is_number() { [[ $1 =~ ^[1-9][0-9]*$ ]]; }

# Names of the namespaces that exist now, one a line.
namespaces() { ip netns list 2>/dev/null | awk '{print $1}'; }

# The run that made a lab is alive while its pid runs this script.
run_alive() {
  local pid=$1 cmdline
  [ -r "/proc/$pid/cmdline" ] || return 1
  cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
  [[ $cmdline == *netlab.sh* ]]
}

# Process state from /proc/PID/stat; zombies count as gone (here nobody may
# reap orphans for a long time, and kill -0 still finds them).
running() {
  local line rest
  read -r line 2>/dev/null <"/proc/$1/stat" || return 1
  rest=${line##*) }
  [ "${rest%% *}" != Z ]
}

any_running() {
  local pid
  for pid in "$@"; do running "$pid" && return 0; done
  return 1
}

# True while some live process belongs to process group GROUP.
group_running() {
  local group=$1 f line fields
  for f in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$f" || continue
    read -r -a fields <<<"${line##*) }"
    [ "${fields[2]}" = "$group" ] && [ "${fields[0]}" != Z ] && return 0
  done
  return 1
}

# Removes every namespace whose name starts with PREFIX. Processes still
# inside are stopped first: a namespace with a process in it outlives its name.
remove_lab() {
  local prefix=$1 ns pid pids=() tries
  local names=()
  while read -r ns; do
    [[ $ns == "$prefix"* ]] && names+=("$ns")
  done < <(namespaces)
  [ ${#names[@]} -eq 0 ] && return 0
  for ns in "${names[@]}"; do
    while read -r pid; do
      [ -n "$pid" ] && pids+=("$pid")
    done < <(ip netns pids "$ns" 2>/dev/null)
  done
  if [ ${#pids[@]} -gt 0 ]; then
    kill -TERM "${pids[@]}" 2>/dev/null
    for ((tries = 0; tries < 30; tries++)); do
      any_running "${pids[@]}" || break
      sleep 0.1
    done
    kill -KILL "${pids[@]}" 2>/dev/null
  fi
  for ns in "${names[@]}"; do
    ip netns del "$ns" 2>/dev/null || say "could not remove namespace $ns"
  done
}

cleanup_stale() {
  local ns pid prefixes=() p dir
  while read -r ns; do
    [[ $ns =~ ^${kNamePrefix}([0-9]+)- ]] || continue
    pid=${BASH_REMATCH[1]}
    [ "$pid" = "$$" ] && continue
    run_alive "$pid" && continue
    p="${kNamePrefix}${pid}-"
    [[ " ${prefixes[*]-} " == *" $p "* ]] || prefixes+=("$p")
  done < <(namespaces)
  for p in "${prefixes[@]+"${prefixes[@]}"}"; do
    say "removing leftovers of a dead run: ${p}*"
    remove_lab "$p"
  done
  for dir in "${TMPDIR:-/tmp}"/${kNamePrefix}*; do
    [ -d "$dir" ] || continue
    [[ $(basename "$dir") =~ ^${kNamePrefix}([0-9]+)\. ]] || continue
    pid=${BASH_REMATCH[1]}
    [ "$pid" = "$$" ] || run_alive "$pid" || rm -rf -- "$dir"
  done
}

# Stops the command's process group (it runs in one of its own): TERM, a
# moment to finish, then KILL for whatever is left.
stop_child() {
  [ -n "$child" ] || return 0
  local group=$child tries
  child=""
  kill -TERM -- "-$group" 2>/dev/null || return 0
  for ((tries = 0; tries < 30; tries++)); do
    group_running "$group" || break
    sleep 0.1
  done
  kill -KILL -- "-$group" 2>/dev/null
  return 0
}

teardown() {
  stop_child
  if [ -n "$lab_prefix" ]; then
    remove_lab "$lab_prefix"
    lab_prefix=""
  fi
  if [ -n "$lab_dir" ]; then
    rm -rf -- "$lab_dir"
    lab_dir=""
  fi
}

on_signal() {
  trap - INT TERM HUP
  say "interrupted, removing the lab"
  teardown
  trap - EXIT
  exit $((128 + $1))
}

must() {
  "$@" || die "failed: $*"
}

host_ns() { echo "${lab_prefix}h$1"; }

# Adds a veth from bridge BRIDGE (port PORT) in the bridge namespace to host
# namespace NS as IFACE. Both ends are made inside namespaces: nothing ever
# appears in the calling namespace.
link_host() {
  local brns=$1 bridge=$2 port=$3 ns=$4 iface=$5
  must ip -n "$brns" link add "$port" type veth peer name "$iface" netns "$ns"
  must ip -n "$brns" link set "$port" master "$bridge" up
}

wait_links_up() {
  local ns iface tries
  for ((tries = 0; tries < 50; tries++)); do
    local all_up=1
    while read -r ns iface; do
      ip -n "$ns" -o link show dev "$iface" 2>/dev/null | grep 'LOWER_UP' >/dev/null || all_up=0
    done < "$lab_dir/links"
    [ "$all_up" -eq 1 ] && return 0
    sleep 0.1
  done
  die "links did not come up"
}

add_extra_addrs() {
  local host=$1 count=$2 first_index=$3 ns i n file
  ns=$(host_ns "$host")
  file="$lab_dir/extra-addrs-h$host"
  : >"$file"
  for ((i = 0; i < count; i++)); do
    n=$((first_index + i))
    echo "10.77.$((1 + n / 254)).$((1 + n % 254))" >>"$file"
  done
  sed 's|.*|addr add &/32 dev eth0|' "$file" | ip -n "$ns" -batch - || die "could not add extra addresses to h$host"
}

# The host's own datagrams to 255.255.255.255 are looped back to it through
# eth0's receive path; an ingress filter sends exactly those to a veth that is
# down, which drops them. Other hosts' broadcasts and all multicast still pass.
block_self_broadcast() {
  local host=$1 ns
  ns=$(host_ns "$host")
  command -v tc >/dev/null 2>&1 || skip "--no-self-broadcast needs tc (iproute2)"
  must ip -n "$ns" link add qlmsink type veth peer name qlmsink1
  ip netns exec "$ns" tc qdisc add dev eth0 ingress 2>/dev/null &&
    ip netns exec "$ns" tc filter add dev eth0 parent ffff: protocol ip prio 1 u32 \
      match ip src "10.77.0.$host/32" match ip dst 255.255.255.255/32 \
      action mirred egress redirect dev qlmsink 2>/dev/null ||
    skip "--no-self-broadcast needs the kernel's ingress qdisc, u32 and mirred"
}

cmd_run() {
  local hosts="" extra=() second="" no_self="" no_route=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --) shift; break ;;
      --extra-addrs)
        [ $# -ge 3 ] && is_number "$2" && is_number "$3" || usage
        extra+=("$2:$3"); shift 3 ;;
      --second-link)
        [ $# -ge 2 ] && [[ $2 =~ ^[1-9][0-9]*(,[1-9][0-9]*)*$ ]] || usage
        second="${second:+$second,}$2"; shift 2 ;;
      --no-self-broadcast)
        [ $# -ge 2 ] && is_number "$2" || usage
        no_self="$no_self $2"; shift 2 ;;
      --no-broadcast-route)
        [ $# -ge 2 ] && is_number "$2" || usage
        no_route="$no_route $2"; shift 2 ;;
      *)
        is_number "$1" && [ -z "$hosts" ] || usage
        hosts=$1; shift ;;
    esac
  done
  [ -n "$hosts" ] && [ $# -gt 0 ] || usage
  [ "$hosts" -ge 1 ] && [ "$hosts" -le "$kMaxHosts" ] || die "N must be 1..$kMaxHosts"
  local h item
  for h in ${second//,/ } $no_self $no_route; do
    [ "$h" -ge 1 ] && [ "$h" -le "$hosts" ] || die "no host $h in a lab of $hosts"
  done
  local extra_total=0
  for item in "${extra[@]+"${extra[@]}"}"; do
    h=${item%%:*}
    [ "$h" -ge 1 ] && [ "$h" -le "$hosts" ] || die "no host $h in a lab of $hosts"
    extra_total=$((extra_total + ${item##*:}))
  done
  [ "$extra_total" -le "$kMaxExtraAddrs" ] || die "at most $kMaxExtraAddrs extra addresses"

  require_lab_tools
  trap teardown EXIT
  trap 'on_signal 2' INT
  trap 'on_signal 15' TERM
  trap 'on_signal 1' HUP
  cleanup_stale

  lab_prefix="${kNamePrefix}$$-"
  lab_dir=$(mktemp -d "${TMPDIR:-/tmp}/${kNamePrefix}$$.XXXXXX") || die "cannot make a temporary folder"
  : >"$lab_dir/links"

  local brns="${lab_prefix}br" reason
  reason=$(ip netns add "$brns" 2>&1) || { lab_prefix=""; skip "cannot create network namespaces: $reason"; }
  must ip -n "$brns" link add br0 type bridge mcast_snooping 0 stp_state 0 forward_delay 0
  must ip -n "$brns" link set br0 up
  if [ -n "$second" ]; then
    must ip -n "$brns" link add br1 type bridge mcast_snooping 0 stp_state 0 forward_delay 0
    must ip -n "$brns" link set br1 up
  fi

  local ns
  for ((h = 1; h <= hosts; h++)); do
    ns=$(host_ns "$h")
    must ip netns add "$ns"
    must ip -n "$ns" link set lo up
    # New namespaces may inherit the caller's IPv4 settings; a host never routes.
    must ip netns exec "$ns" sh -c 'echo 0 >/proc/sys/net/ipv4/ip_forward'
    link_host "$brns" br0 "p$h" "$ns" eth0
    must ip -n "$ns" addr add "10.77.0.$h/24" brd + dev eth0
    must ip -n "$ns" link set eth0 up
    # Without a default route 255.255.255.255 and the group have no way out.
    must ip -n "$ns" route add default dev eth0
    echo "$ns eth0" >>"$lab_dir/links"
  done
  for h in ${second//,/ }; do
    ns=$(host_ns "$h")
    ip -n "$ns" link show dev eth1 >/dev/null 2>&1 && continue
    link_host "$brns" br1 "q$h" "$ns" eth1
    must ip -n "$ns" addr add "10.78.0.$h/24" brd + dev eth1
    must ip -n "$ns" link set eth1 up
    echo "$ns eth1" >>"$lab_dir/links"
  done
  local next_extra=0
  for item in "${extra[@]+"${extra[@]}"}"; do
    add_extra_addrs "${item%%:*}" "${item##*:}" "$next_extra"
    next_extra=$((next_extra + ${item##*:}))
  done
  for h in $no_self; do block_self_broadcast "$h"; done
  for h in $no_route; do must ip -n "$(host_ns "$h")" route add unreachable 255.255.255.255/32; done
  wait_links_up

  export QLM_LAB_PREFIX="$lab_prefix" QLM_LAB_HOSTS="$hosts" QLM_LAB_DIR="$lab_dir" QLM_LAB_NETLAB="$kSelf"
  labexec() {
    local host=$1
    shift
    ip netns exec "${QLM_LAB_PREFIX}h${host}" "$@"
  }
  labaddr() { echo "10.77.0.$1"; }
  export -f labexec labaddr
  say "lab of $hosts hosts: ${lab_prefix}h1..h$hosts (10.77.0.1..$hosts)"

  local rc
  if [ -t 0 ]; then
    # By hand: the command keeps the terminal (a shell in the lab works).
    "$@"
    rc=$?
  else
    # Its own process group, so teardown can stop everything it started.
    set -m
    "$@" &
    child=$!
    set +m
    wait "$child"
    rc=$?
  fi
  teardown
  trap - EXIT INT TERM HUP
  return "$rc"
}

cmd_exec() {
  [ $# -ge 2 ] && is_number "$1" || usage
  [ -n "${QLM_LAB_PREFIX:-}" ] || die "QLM_LAB_PREFIX is not set: run this inside 'netlab.sh run'"
  [[ $QLM_LAB_PREFIX =~ ^${kNamePrefix}[0-9]+-$ ]] || die "QLM_LAB_PREFIX is not a lab prefix: $QLM_LAB_PREFIX"
  local host=$1
  shift
  exec ip netns exec "${QLM_LAB_PREFIX}h${host}" "$@"
}

verb=${1:-}
[ $# -gt 0 ] && shift
case "$verb" in
  run) cmd_run "$@"; exit $? ;;
  exec) cmd_exec "$@" ;;
  cleanup-stale) require_lab_tools; cleanup_stale ;;
  *) usage ;;
esac
