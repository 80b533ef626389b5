# shellcheck shell=bash
# The machines of a network neighbourhood in the lab (sourced after
# labsamba_lib.sh): Samba's nmbd as the browse master of QLMLAB and Samba
# hosts that register with it, wsdd announcing a host by WS-Discovery, and
# avahi-daemon publishing one by mDNS on a private D-Bus system bus. Every
# daemon runs inside a lab host and keeps its files under $QLM_LAB_DIR; none is
# ever started in the calling namespace.

readonly kNbWorkgroup=QLMLAB

# nb_samba_start NAME HOST NETBIOSNAME master|member: smbd and nmbd in HOST.
# The master wins every election (os level 65, preferred) and is the domain
# master too; a member never stands and announces itself to the master's
# address as well as by broadcast, so its entry does not wait for the
# broadcast schedule.
nb_samba_start() {
  local name=$1 host=$2 netbios=$3 role=$4 extra
  if [ "$role" = master ]; then
    extra="  local master = yes
  preferred master = yes
  domain master = yes
  os level = 65"
  else
    extra="  local master = no
  preferred master = no
  domain master = no
  os level = 0
  remote announce = $(labaddr 1)/$kNbWorkgroup
  remote browse sync = $(labaddr 1)"
  fi
  samba_start "$name" "$host" "$netbios" CP1252 "$extra"
}

# nb_wait_master NAME SECONDS: waits until NAME's nmbd says it won the
# election (local master browser of the workgroup); members started after
# that are listed from their first announcement on.
nb_wait_master() {
  local name=$1 limit=$2 tries
  for ((tries = 0; tries < limit * 10; tries++)); do
    grep "is now a local master browser for workgroup $kNbWorkgroup" "$QLM_LAB_DIR/$name/nmbd.out" >/dev/null && return 0
    sleep 0.1
  done
  echo "$name never became the local master browser: $(tail -n 5 "$QLM_LAB_DIR/$name/nmbd.out")" >&2
  return 1
}

# nb_master_lists BROWSERHOST NAME...: true when QLMLAB's browse list, read
# from BROWSERHOST with smbtree (libsmbclient: the workgroup's master is found
# by its <1d> name, as our node finds it), has every NAME. smbclient -L is no
# use here: it asks a standalone server for the servers of the server's own
# name. smbtree -N crashes in Samba 4.17 (no user name); a guest with an empty
# password is the same anonymous session.
nb_master_lists() {
  local host=$1 conf out name
  shift
  conf=$(samba_client_conf nbbrowse CP1252)
  out=$(labexec "$host" timeout 10 smbtree -s "$conf" -U 'guest%' -S 2>/dev/null) || true
  for name in "$@"; do
    grep -E "^[[:space:]]+\\\\\\\\${name}[[:space:]]" <<<"$out" >/dev/null || return 1
  done
  return 0
}

# nb_wait_browse_list HOST SECONDS NAME...: waits until the master's list has
# every NAME; prints the seconds it took.
nb_wait_browse_list() {
  local host=$1 limit=$2 start now
  shift 2
  start=$(date +%s.%N)
  while :; do
    if nb_master_lists "$host" "$@"; then
      now=$(date +%s.%N)
      awk -v a="$start" -v b="$now" 'BEGIN { printf "%.1f\n", b - a }'
      return 0
    fi
    now=$(date +%s.%N)
    awk -v a="$start" -v b="$now" -v l="$limit" 'BEGIN { exit !(b - a > l) }' && return 1
    sleep 1
  done
}

# nb_wsdd_start NAME HOST NETBIOSNAME: wsdd on HOST's eth0 (IPv4 only) for the
# workgroup; as root it neither chroots nor drops privileges unless told to.
# Its endpoint UUID is made from the host name, which every lab host shares:
# each gets one of its own, or a client would take them for one device.
nb_wsdd_start() {
  local name=$1 host=$2 netbios=$3 dir="$QLM_LAB_DIR/$1"
  mkdir -p "$dir"
  labexec "$host" wsdd -i eth0 -4 -s -v -n "$netbios" -w "$kNbWorkgroup" \
    -U "$(cat /proc/sys/kernel/random/uuid)" >"$dir/wsdd.out" 2>&1 &
}

# nb_wsdd_ready NAME HOST: waits (at most 10 s) until wsdd's HTTP port listens.
nb_wsdd_ready() {
  local name=$1 host=$2 tries
  for ((tries = 0; tries < 100; tries++)); do
    labexec "$host" ss -Hltn 'sport = :5357' 2>/dev/null | grep LISTEN >/dev/null && return 0
    sleep 0.1
  done
  echo "wsdd $name did not come up: $(tail -n 5 "$QLM_LAB_DIR/$name/wsdd.out")" >&2
  return 1
}

# nb_wsdd_discover HOST SECONDS: what a wsdd in discovery mode on HOST finds
# within SECONDS, "NAME WORKGROUP ADDRESS" a line; it announces nothing itself
# (-o). Read from its log: its socket API does not start with Python 3.10 and
# later (wsdd 0.7.0 hands asyncio a loop argument that is gone).
nb_wsdd_discover() {
  local host=$1 limit=$2 out="$QLM_LAB_DIR/wsdd-discover-h$1.out"
  labexec "$host" timeout "$limit" wsdd -D -o -4 -s -v -i eth0 >"$out" 2>&1
  sed -nE 's/.*discovered (.+) in Workgroup:([^ ]+) on ([0-9.]+)%.*/\1 \2 \3/p' "$out" | sort -u
}

# nb_avahi_start NAME HOST HOSTNAME publish|browse: a dbus-daemon with a
# system bus of its own (socket $QLM_LAB_DIR/NAME/bus) and avahi-daemon on it,
# in a mount namespace of their own whose /run is a private tmpfs, so its pid
# file and socket never meet the calling namespace's /run. "publish" announces
# HOSTNAME with a workstation and an SMB service; "browse" publishes nothing
# (the host where our node reads mDNS). Clients in HOST need
# DBUS_SYSTEM_BUS_ADDRESS=$(nb_avahi_bus NAME).
nb_avahi_start() {
  local name=$1 host=$2 hostname=$3 mode=$4 dir="$QLM_LAB_DIR/$1" publish
  mkdir -p "$dir/services"
  if [ "$mode" = publish ]; then
    publish="disable-publishing=no
publish-addresses=yes
publish-workstation=yes
publish-hinfo=no"
    cat >"$dir/services/smb.service" <<XML
<?xml version="1.0" standalone='no'?>
<!DOCTYPE service-group SYSTEM "avahi-service.dtd">
<service-group>
  <name replace-wildcards="yes">%h</name>
  <service><type>_smb._tcp</type><port>445</port></service>
</service-group>
XML
  else
    publish="disable-publishing=yes"
  fi
  cat >"$dir/dbus.conf" <<XML
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
XML
  cat >"$dir/avahi-daemon.conf" <<CONF
[server]
host-name=$hostname
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
$publish
[reflector]
enable-reflector=no
[rlimits]
CONF
  # The services folder is fixed in avahi-daemon; a bind mount inside the
  # private mount namespace puts ours there.
  labexec "$host" unshare -m --propagation private bash -c '
    dir=$1
    mount -t tmpfs -o mode=0755 qlmrun /run || exit 1
    mkdir -p /run/avahi-daemon /run/dbus
    mount --bind "$dir/services" /etc/avahi/services || exit 1
    dbus-daemon --config-file="$dir/dbus.conf" --nofork --nopidfile --print-address=1 >"$dir/bus.address" 2>"$dir/dbus.out" &
    for ((i = 0; i < 50; i++)); do [ -S "$dir/bus" ] && break; sleep 0.1; done
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/bus"
    exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$dir/avahi-daemon.conf"
  ' nb-avahi "$dir" >"$dir/avahi.out" 2>&1 &
}

nb_avahi_bus() { echo "unix:path=$QLM_LAB_DIR/$1/bus"; }

# nb_avahi_ready NAME HOST: waits (at most 10 s) until avahi-daemon answers on
# its bus (avahi-browse reaches it: the daemon is "running").
nb_avahi_ready() {
  local name=$1 host=$2 tries
  for ((tries = 0; tries < 100; tries++)); do
    if [ -S "$QLM_LAB_DIR/$name/bus" ] &&
       DBUS_SYSTEM_BUS_ADDRESS=$(nb_avahi_bus "$name") labexec "$host" avahi-resolve --help >/dev/null 2>&1 &&
       grep -i "Server startup complete" "$QLM_LAB_DIR/$name/avahi.out" >/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "avahi $name did not come up: $(tail -n 5 "$QLM_LAB_DIR/$name/avahi.out" "$QLM_LAB_DIR/$name/dbus.out")" >&2
  return 1
}

# nb_host_vanish HOST: the host goes away as a switched-off machine does:
# every process in it is killed at once (nmbd gets no chance to tell the
# master, which keeps listing it) and its address is removed.
nb_host_vanish() {
  local host=$1 pids
  pids=$(ip netns pids "${QLM_LAB_PREFIX}h$host")
  [ -n "$pids" ] && kill -KILL $pids 2>/dev/null
  labexec "$host" ip addr flush dev eth0
}

nb_avahi_ok=1
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
figure() { echo "figure: $*"; }

# nb_lab_up OBSERVER: the whole neighbourhood (labtest_lib.sh's pass and fail
# report): QLMMASTER (h1) elected, QLMPEER2 (h2, with wsdd too) and QLMPEER3
# (h3) on its list, wsdd for QLMWSD (h4), avahi-daemon publishing qlmavahi
# (h5) and one that only browses on OBSERVER. nb_avahi_ok is 0 when Avahi
# cannot run here.
nb_lab_up() {
  local observer=$1
  local start=$(now) waited
  nb_samba_start master 1 QLMMASTER master
  nb_wsdd_start wsd4 4 QLMWSD
  nb_wsdd_start wsd2 2 QLMPEER2
  nb_avahi_start avahi5 5 qlmavahi publish
  nb_avahi_start avahi6 "$observer" qlmobserver browse
  samba_ready master 1 QLMMASTER && nb_wait_master master 60 || { fail "the browse master did not come up"; return 1; }
  figure "browse_master_elected_s=$(since "$start")"
  # Members after the election: their first announcement is taken.
  nb_samba_start peer2 2 QLMPEER2 member
  nb_samba_start peer3 3 QLMPEER3 member
  samba_ready peer2 2 QLMPEER2 && samba_ready peer3 3 QLMPEER3 || { fail "the Samba members did not come up"; return 1; }
  nb_wsdd_ready wsd4 4 && nb_wsdd_ready wsd2 2 || { fail "wsdd did not come up"; return 1; }
  pass "nmbd and smbd in h1-h3, wsdd in h2 and h4"
  if nb_avahi_ready avahi5 5 && nb_avahi_ready avahi6 "$observer"; then
    pass "avahi-daemon on private buses in h5 and h$observer"
  else
    # Where a mount namespace or D-Bus cannot be had, the mDNS source is
    # absent and only that is checked.
    echo "note: avahi-daemon cannot run in a lab host here; QLMAVAHI is not expected"
    nb_avahi_ok=0
  fi
  if waited=$(nb_wait_browse_list "$observer" 150 QLMMASTER QLMPEER2 QLMPEER3); then
    pass "the master's browse list has QLMMASTER, QLMPEER2 and QLMPEER3 (smbtree)"
    figure "browse_list_complete_after_members_s=$waited"
  else
    fail "the master's browse list stayed incomplete for 150 s: $(tail -n 5 "$QLM_LAB_DIR/master/nmbd.out")"
    return 1
  fi
}

