#!/usr/bin/env bash
# Console messages in the lab: Samba's smbd/nmbd on hosts 1 and 2, senders on host 3.
#   console_lab.sh CLI [COUNT]
# 1. COUNT (default 20) sends of one message to PEERLAT by `quillmate-cli
#    console` against `smbclient -M PEERLAT` of the same text, in alternating
#    turns (so load from elsewhere falls on both), each until the receiver has
#    stored it. Prints the median times and their ratio (target <= 1: not slower).
# 2. One `quillmate-cli console` to 20 names of which 10 do not exist: its
#    wall time against one connect limit plus one query timeout (6.5 s); the
#    ratio must stay <= 1.
# Prints figures; exits 0 unless something did not run.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
netlab=$here/../tests/lab/netlab.sh

if [ "${1:-}" != --inside ]; then
  cli=${1:-} count=${2:-20}
  [ -x "$cli" ] || { echo "usage: console_lab.sh CLI [COUNT]" >&2; exit 2; }
  exec timeout -s TERM 300 "$netlab" run 3 -- bash "$0" --inside "$cli" "$count" </dev/null
fi
cli=$2 count=$3
source "$here/../tests/lab/labsamba_lib.sh"
mkdir -p "$QLM_LAB_DIR/home"

samba_start latin 1 PEERLAT CP1252
samba_start gb 2 PEERGB CP936
samba_ready latin 1 PEERLAT && samba_ready gb 2 PEERGB || exit 1
conf=$(samba_client_conf latin CP1252)
text="A console message of the benchmark, the same for both senders."
printf '%s' "$text" >"$QLM_LAB_DIR/text.txt"

now_ms() { date +%s%3N; }
# One send by WHO (ours|ref) as sender FROM; prints its milliseconds until stored.
one() {
  local who=$1 from=$2 start end f
  rm -f "$QLM_LAB_DIR/latin/msgs/"msg-*
  start=$(now_ms)
  if [ "$who" = ours ]; then
    labexec 3 "$cli" --home "$QLM_LAB_DIR/home" console --to PEERLAT --from "$from" "$text" >/dev/null 2>&1 || return 1
  else
    labexec 3 smbclient -s "$conf" -M PEERLAT -U "$from" -N <"$QLM_LAB_DIR/text.txt" >/dev/null 2>&1 || return 1
  fi
  for ((i = 0; i < 1000; i++)); do
    for f in "$QLM_LAB_DIR/latin/msgs/msg-from-$from-to-"*.txt; do [ -e "$f" ] && break 2; done
    sleep 0.005
  done
  end=$(now_ms)
  [ -e "$f" ] || return 1
  echo $((end - start))
}

ours=() ref=()
for ((k = 0; k < count; k++)); do
  t=$(one ours qlmbench) || { echo "our send failed" >&2; exit 1; }
  ours+=("$t")
  t=$(one ref refbench) || { echo "smbclient -M failed" >&2; exit 1; }
  ref+=("$t")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo=$(median "${ours[@]}") mr=$(median "${ref[@]}")
echo "one message to Samba, median of $count: quillmate-cli ${mo} ms, smbclient -M ${mr} ms, ratio $(awk -v a="$mo" -v b="$mr" 'BEGIN {printf "%.2f", a / b}') (target <= 1)"

names=()
for ((k = 1; k <= 5; k++)); do names+=(PEERLAT PEERGB); done
for ((k = 1; k <= 10; k++)); do names+=("NOSUCHPC$k"); done
list=$(IFS=,; echo "${names[*]}")
start=$(now_ms)
labexec 3 "$cli" --home "$QLM_LAB_DIR/home" console --to "$list" --from qlmmany "$text" >"$QLM_LAB_DIR/many.out" 2>/dev/null
rc=$?
end=$(now_ms)
okc=$(grep -c '	OK$' "$QLM_LAB_DIR/many.out")
lines=$(wc -l <"$QLM_LAB_DIR/many.out")
bound=6500
echo "20 recipients (10 do not exist): ${lines} lines, ${okc} OK, exit $rc, $((end - start)) ms against one connect limit plus one query timeout ${bound} ms, ratio $(awk -v a=$((end - start)) -v b=$bound 'BEGIN {printf "%.2f", a / b}') (target <= 1)"
