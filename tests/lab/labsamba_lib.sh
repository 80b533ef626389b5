# shellcheck shell=bash
# Samba in the lab (sourced by lab tests and benchmarks): smbd and nmbd as a
# console message receiver inside one lab host, everything they keep under
# the run's own folder. Never started outside a lab namespace.

# samba_start NAME HOST NETBIOSNAME DOSCHARSET [GLOBALS]: smbd and nmbd on
# HOST's eth0, GLOBALS (lines) added to [global]; each message lands in $QLM_LAB_DIR/NAME/msgs/msg-from-SENDER-to-TIME.txt (Samba
# 4.17 fills %t with the time, not the target).
samba_start() {
  local name=$1 host=$2 netbios=$3 charset=$4 globals=${5:-} dir="$QLM_LAB_DIR/$1" d
  [ -n "${QLM_LAB_PREFIX:-}" ] || { echo "samba_start: not inside a lab" >&2; return 1; }
  mkdir -p "$dir"
  for d in state lock cache private pid ncalrpc binddns msgs; do mkdir -p "$dir/$d"; done
  # The message command runs as the guest account: it must reach msgs/.
  chmod o+x "$QLM_LAB_DIR" "$dir"
  chmod 1777 "$dir/msgs"
  cat >"$dir/smb.conf" <<CONF
[global]
  netbios name = $netbios
  workgroup = QLMLAB
  server role = standalone server
  server min protocol = NT1
  interfaces = eth0
  bind interfaces only = yes
  dos charset = $charset
  unix charset = UTF-8
  state directory = $dir/state
  lock directory = $dir/lock
  cache directory = $dir/cache
  private dir = $dir/private
  pid directory = $dir/pid
  ncalrpc dir = $dir/ncalrpc
  binddns dir = $dir/binddns
  usershare path = $dir/state
  log file = $dir/log.%m
  log level = 1
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  dns proxy = no
  message command = /bin/sh -c '/bin/cat %s > $dir/msgs/part-%f-%t; /bin/mv $dir/msgs/part-%f-%t $dir/msgs/msg-from-%f-to-%t.txt; /bin/rm %s' &
$globals
CONF
  labexec "$host" nmbd --foreground --no-process-group --debug-stdout -s "$dir/smb.conf" >"$dir/nmbd.out" 2>&1 &
  labexec "$host" smbd --foreground --no-process-group --debug-stdout -s "$dir/smb.conf" >"$dir/smbd.out" 2>&1 &
}

# samba_ready NAME HOST NETBIOSNAME: waits (at most 15 s) until smbd listens on
# 139 and nmbd answers for NETBIOSNAME<03> on the lab segment.
samba_ready() {
  local name=$1 host=$2 netbios=$3 tries
  for ((tries = 0; tries < 150; tries++)); do
    if labexec "$host" ss -Hltn 'sport = :139' 2>/dev/null | grep LISTEN >/dev/null &&
       labexec "$host" nmblookup -s "$QLM_LAB_DIR/$name/smb.conf" -B 10.77.0.255 "$netbios#03" 2>/dev/null |
         grep -i "$netbios<03>" >/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "samba $name did not come up: $(tail -n 5 "$QLM_LAB_DIR/$name/smbd.out" "$QLM_LAB_DIR/$name/nmbd.out")" >&2
  return 1
}

# samba_client_conf NAME DOSCHARSET: a client configuration for smbclient.
samba_client_conf() {
  local file="$QLM_LAB_DIR/client-$1.conf"
  mkdir -p "$QLM_LAB_DIR/client-$1"
  cat >"$file" <<CONF
[global]
  workgroup = QLMLAB
  client min protocol = NT1
  dos charset = $2
  unix charset = UTF-8
  name resolve order = bcast
  lock directory = $QLM_LAB_DIR/client-$1
  state directory = $QLM_LAB_DIR/client-$1
  cache directory = $QLM_LAB_DIR/client-$1
  private dir = $QLM_LAB_DIR/client-$1
CONF
  echo "$file"
}

# wait_file PATH [SECONDS]: true once PATH exists.
wait_file() {
  local path=$1 limit=${2:-10} tries
  for ((tries = 0; tries < limit * 10; tries++)); do
    [ -e "$path" ] && return 0
    sleep 0.1
  done
  return 1
}
