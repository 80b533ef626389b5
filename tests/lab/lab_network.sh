#!/usr/bin/env bash
# The network neighbourhood against real daemons: Samba's nmbd as the browse
# master of QLMLAB with two Samba members, wsdd announcing a fourth host (and
# one of the members as well), avahi-daemon publishing a fifth on a private
# D-Bus. quillmate-cli network on a sixth host must list every computer once
# with its lab address, show a member that vanished (still on the master's
# list) as "Unknown IP", and the address it gives for a host that runs our
# node must take a message there. Samba's own smbtree, wsdd's discovery mode
# and avahi-browse read the same lab first, so a fault of the lab is told
# apart from a fault of ours. Prints how long each source took.
#   QLM_CLI=path/to/quillmate-cli lab_network.sh LABPROBE
set -u -o pipefail
export QLM_LAB_TIMEOUT=${QLM_LAB_TIMEOUT:-240}
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labsamba_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labneighbour_lib.sh"

cli=${QLM_CLI:-}
readonly kObserver=6
# How long the CLI may wait for its sources (each has its own, shorter bound).
readonly kCliWait=20

# The lab: host, name, what announces it.
#   h1 QLMMASTER  Samba, browse master (and domain master) of QLMLAB
#   h2 QLMPEER2   Samba member, wsdd under the same name, our node listening
#   h3 QLMPEER3   Samba member that vanishes half-way
#   h4 QLMWSD     wsdd only
#   h5 qlmavahi   avahi-daemon only (workstation and SMB service)
#   h6            the observer: avahi-daemon that publishes nothing, our CLI
declare -A expect_addr=([QLMMASTER]=10.77.0.1 [QLMPEER2]=10.77.0.2 [QLMPEER3]=10.77.0.3
                        [QLMWSD]=10.77.0.4 [QLMAVAHI]=10.77.0.5)
# The sources each must be known by: QLMPEER2 by two, merged into one row.
declare -A expect_sources=([QLMMASTER]=SMB [QLMPEER2]=SMB+WSD [QLMPEER3]=SMB [QLMWSD]=WSD [QLMAVAHI]=mDNS)


# network OUT [BUS] [FORMAT]: quillmate-cli network on the observer, with
# --json unless FORMAT is "text", Avahi reached on BUS (default: the
# observer's private bus); prints the seconds it ran.
network() {
  local out=$1 bus=${2:-$(nb_avahi_bus avahi6)} json=(--json) start rc
  [ "${3:-json}" = text ] && json=()
  start=$(now)
  labexec "$kObserver" env DBUS_SYSTEM_BUS_ADDRESS="$bus" \
    timeout $((kCliWait + 15)) "$cli" --home "$QLM_LAB_DIR/home-observer" network --wait "$kCliWait" ${json[@]+"${json[@]}"} \
    >"$QLM_LAB_DIR/$out.out" 2>"$QLM_LAB_DIR/$out.err"
  rc=$?
  since "$start"
  return "$rc"
}

# rows OUT: the computers of a listing, "NAME<TAB>ADDRESS<TAB>SOURCES" a line,
# the name upper-cased, the address as printed ("Unknown IP" when JSON gives
# none). Reads JSON lines or the text form (sources, container, name, address).
rows() {
  python3 - "$QLM_LAB_DIR/$1.out" <<'PY'
import json, sys
items = []
for line in open(sys.argv[1], encoding="utf-8").read().splitlines():
    if not line.strip():
        continue
    try:
        items.append(json.loads(line))
    except ValueError:
        f = line.split("\t")
        if len(f) == 4:
            items.append({"Source": f[0], "Container": f[1], "Name": f[2], "Address": f[3], "Kind": "computer", "text": True})
def pick(d, *keys):
    for k in keys:
        for key in d:
            if key.lower() == k:
                return d[key]
    return None
for it in items:
    if not isinstance(it, dict) or str(pick(it, "kind")).lower() != "computer":
        continue
    name = pick(it, "name")
    if not name:
        continue
    addr = pick(it, "address")
    if not addr and "text" not in it:
        addr = "Unknown IP"
    src = pick(it, "source") or ""
    print(f"{str(name).upper()}\t{addr}\t{src}")
PY
}

# expect_listed OUT NAME ADDRESS WHAT [SOURCES]: NAME is one row of OUT with
# ADDRESS (and exactly the sources SOURCES, as "SMB+WSD").
expect_listed() {
  local out=$1 name=$2 address=$3 what=$4 sources=${5:-} lines
  lines=$(rows "$out" | awk -F'\t' -v n="$name" '$1 == n')
  if [ "$(grep -c . <<<"$lines")" -ne 1 ]; then
    fail "$what: $name is in $(grep -c . <<<"$lines") rows, not one: $(tr '\n' ';' <<<"$lines")"
  elif [ "$(cut -f2 <<<"$lines")" != "$address" ]; then
    fail "$what: $name shows \"$(cut -f2 <<<"$lines")\", not $address"
  elif [ -n "$sources" ] && [ "$(cut -f3 <<<"$lines")" != "$sources" ]; then
    fail "$what: $name is known by \"$(cut -f3 <<<"$lines")\", not $sources"
  else
    pass "$what: $name once, $address ($(cut -f3 <<<"$lines"))"
  fi
}

# Samba's, wsdd's and Avahi's own clients see what our node must see.
reference_checks() {
  local start found
  start=$(now)
  nb_master_lists "$kObserver" QLMMASTER QLMPEER2 QLMPEER3 && figure "smbtree_s=$(since "$start")"
  found=$(nb_wsdd_discover "$kObserver" 6)
  if grep -x "QLMWSD QLMLAB 10.77.0.4" <<<"$found" >/dev/null && grep -x "QLMPEER2 QLMLAB 10.77.0.2" <<<"$found" >/dev/null; then
    pass "wsdd's discovery mode finds QLMWSD and QLMPEER2 in QLMLAB"
  else
    fail "wsdd discovery found: $(tr '\n' ';' <<<"$found")"
  fi
  [ "$nb_avahi_ok" -eq 1 ] || return 0
  start=$(now)
  DBUS_SYSTEM_BUS_ADDRESS=$(nb_avahi_bus avahi6) labexec "$kObserver" timeout 10 avahi-browse -a -t -r -p \
    >"$QLM_LAB_DIR/avahi-browse.out" 2>"$QLM_LAB_DIR/avahi-browse.err"
  figure "avahi_browse_s=$(since "$start")"
  if grep '^=;eth0;IPv4;qlmavahi;Microsoft Windows Network;local;qlmavahi.local;10.77.0.5;445;' "$QLM_LAB_DIR/avahi-browse.out" >/dev/null &&
     grep '^=;eth0;IPv4;qlmavahi.*;Workstation;local;qlmavahi.local;10.77.0.5;' "$QLM_LAB_DIR/avahi-browse.out" >/dev/null; then
    pass "avahi-browse on the observer's bus resolves qlmavahi's SMB service and workstation to 10.77.0.5"
  else
    fail "avahi-browse: $(cat "$QLM_LAB_DIR/avahi-browse.out" "$QLM_LAB_DIR/avahi-browse.err")"
  fi
  if grep -i qlmobserver "$QLM_LAB_DIR/avahi-browse.out" >/dev/null; then
    fail "the observer's own avahi-daemon publishes itself"
  fi
}

checks() {
  [ -x "$cli" ] || { fail "quillmate-cli not found (QLM_CLI=$cli)"; return; }
  local tool
  for tool in smbd nmbd smbtree nmblookup wsdd avahi-daemon avahi-browse dbus-daemon unshare python3; do
    command -v "$tool" >/dev/null || { fail "$tool is not installed"; return; }
  done
  mkdir -p "$QLM_LAB_DIR/home-observer"
  nb_lab_up "$kObserver" || return
  [ "$nb_avahi_ok" -eq 1 ] || unset "expect_addr[QLMAVAHI]"
  reference_checks

  # Our node on QLMPEER2, before the listing: "Send Message to Selected" must
  # reach it at the address the listing gives.
  node_start n2 2
  expect_log n2 '"event":"network-confirmed"' "our node listens on QLMPEER2"

  local took name
  if took=$(network first); then
    pass "quillmate-cli network --json ends with status 0"
  else
    fail "quillmate-cli network exited with an error: $(cat "$QLM_LAB_DIR/first.err")"
  fi
  figure "cli_network_s=$took"
  for name in "${!expect_addr[@]}"; do
    expect_listed first "$name" "${expect_addr[$name]}" "the first listing" "${expect_sources[$name]}"
  done
  if rows first | grep -i qlmobserver >/dev/null; then
    fail "the observer lists itself through its own avahi-daemon"
  fi

  local addr
  addr=$(rows first | awk -F'\t' '$1 == "QLMPEER2" { print $2 }')
  if labexec "$kObserver" "$cli" --home "$QLM_LAB_DIR/home-observer" send --to "$addr" --nickname observer \
       "To the selected computer" >"$QLM_LAB_DIR/send.out" 2>"$QLM_LAB_DIR/send.err" &&
     [ "$(cat "$QLM_LAB_DIR/send.out")" = "$addr	OK" ]; then
    pass "a message to QLMPEER2's listed address ($addr) is sent"
  else
    fail "send to QLMPEER2 at \"$addr\": $(cat "$QLM_LAB_DIR/send.out" "$QLM_LAB_DIR/send.err")"
  fi
  expect_log n2 '"NickName":"observer".*"Text":"To the selected computer.*"event":"WM_PEER_MESSAGE"' \
    "our node on QLMPEER2 gets the message"

  # QLMPEER3 vanishes; the master keeps listing it for its announcement's lifetime.
  nb_host_vanish 3
  if nb_master_lists "$kObserver" QLMPEER3; then
    pass "the master still lists QLMPEER3 after it vanished"
  else
    fail "the master dropped QLMPEER3 at once: the lab cannot show an unresolvable computer"
  fi
  # The text form this time: the words a user reads.
  if took=$(network second "" text); then
    pass "quillmate-cli network after QLMPEER3 vanished ends with status 0"
  else
    fail "quillmate-cli network (second) exited with an error: $(cat "$QLM_LAB_DIR/second.err")"
  fi
  figure "cli_network_with_unresolvable_s=$took"
  expect_listed second QLMPEER3 "Unknown IP" "after QLMPEER3 vanished"
  for name in "${!expect_addr[@]}"; do
    [ "$name" = QLMPEER3 ] || expect_listed second "$name" "${expect_addr[$name]}" "after QLMPEER3 vanished"
  done
  node_stop n2

  # No Avahi daemon behind the bus: that source is absent, said once, and the
  # others still answer.
  if took=$(network nobus "unix:path=$QLM_LAB_DIR/no-such-bus"); then
    pass "quillmate-cli network without an Avahi daemon ends with status 0"
  else
    fail "quillmate-cli network without Avahi exited with an error: $(cat "$QLM_LAB_DIR/nobus.err")"
  fi
  figure "cli_network_without_avahi_s=$took"
  local said
  said=$(cat "$QLM_LAB_DIR/nobus.out" "$QLM_LAB_DIR/nobus.err" | grep -ci 'mdns')
  [ "$said" -eq 1 ] && pass "the absent mDNS source is reported once" ||
    fail "the absent mDNS source is reported $said times: $(cat "$QLM_LAB_DIR/nobus.err")"
  expect_listed nobus QLMWSD 10.77.0.4 "without Avahi"
  expect_listed nobus QLMMASTER 10.77.0.1 "without Avahi"
  if rows nobus | grep QLMAVAHI >/dev/null; then
    fail "without Avahi, QLMAVAHI is still listed"
  fi
}

lab_test_main 6 -- "$@"
