#!/usr/bin/env bash
# The sending node's chat log records what quillmate-cli sends as the desktop
# program records the same action. Alice sends twice with the same settings:
# from the desktop program on host 1 (Xvfb, real X input) and with
# quillmate-cli on host 2, to the headless nodes r3 (host 3) and r4 (host 4):
# - a two-line message to r3 (a chat window / `send --to`),
# - one message to r3 and r4 together (the checked users / `send --to A,B`),
# - a broadcast (Tools menu / `broadcast`),
# - two files and a folder to r3 (the file window / `sendfile`).
# Then the two senders' rows in Message, GroupMsg, Broadcast and File are
# compared column by column, and the texts the rows point to.
#   QLM_GUI=path/to/quillmate QLM_CLI=path/to/quillmate-cli lab_log_parity.sh LABPROBE
set -u -o pipefail
QLM_LAB_TIMEOUT=90
source "$(dirname "${BASH_SOURCE[0]}")/labtest_lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/labgui_lib.sh"

gui=${QLM_GUI:-}
cli=${QLM_CLI:-}
export QUILLMATE_TIMINGS="$kGuiTimings"

readonly kMessage=$'Parity one\nsecond line'
readonly kGroup=$'Parity group\nfor two'
readonly kBroadcast=$'Parity broadcast\nfor all'
# The columns compared after ID (which only numbers the rows of each log).
readonly kColumns=(LangID IfSendOut IfBroadcast Nick Computer IP First2Line LogTime)
readonly kSep=$'\x1f'

# What differs by design ("TABLE.COLUMN" -> the value each sender must log;
# checked, not skipped). The CLI's send and sendfile address a host as given,
# not a user of the online list, and the desktop program has no command that
# sends to a bare computer, so the columns naming the recipient differ:
#   Message.Nick      r3                           <No_Nick>
#   Message.Computer  r3's computer name           10.77.0.3
#   GroupMsg.Nick     r3(computer);r4(computer)    10.77.0.3;10.77.0.4
#   File.Nick         r3                           NULL
#   File.Computer     r3's computer name           10.77.0.3
# Everything else must be equal: LangID, IfSendOut, IfBroadcast, IP,
# First2Line and the text. ID only numbers each log's rows and LogTime is the
# moment of sending: LogTime only needs the stored form. Filled in once r3's
# and r4's computer names are known.
declare -A by_gui=() by_cli=()

# type_lines NAME ID TEXT: types TEXT into window ID, Return between lines.
type_lines() {
  local name=$1 id=$2 line first=1
  while IFS= read -r line; do
    [ "$first" = 1 ] || keys "$name" "$id" Return
    first=0
    type_text "$name" "$id" "$line"
  done <<<"$3"
}

# by_cli NAME ARGS...: quillmate-cli in the CLI sender's home on host 2; its
# output in NAME.out and NAME.err.
by_cli() {
  local name=$1
  shift
  labexec 2 timeout 30 "$cli" --home "$QLM_LAB_DIR/home-cliA" "$@" >"$QLM_LAB_DIR/$name.out" 2>"$QLM_LAB_DIR/$name.err"
}

# computer_of NODE: the computer name NODE announces (its own row of its list).
computer_of() {
  local name=$1 tries row
  for ((tries = 0; tries < 50; tries++)); do
    node_cmd "$name" list
    sleep 0.1
    row=$(grep '"event":"online-list"' "$QLM_LAB_DIR/$name.log" | tail -n 1 | grep -o '{[^{}]*"IsSelf":true[^{}]*}')
    [ -n "$row" ] && { sed -E 's/.*"ComputerName":"([^"]*)".*/\1/' <<<"$row"; return 0; }
  done
  return 1
}

# log_rows HOME TABLE WHERE: ID and kColumns of the rows, oldest first, one a
# line, fields split by kSep, line breaks inside shown as \r and \n, NULL as <NULL>.
log_rows() {
  local db="$QLM_LAB_DIR/$1/ChatDB/chatlog.mdb"
  [ -e "$db" ] || return 0
  sqlite3 -readonly -cmd '.timeout 5000' -cmd '.nullvalue <NULL>' -separator "$kSep" "$db" \
    "SELECT ID, LangID, IfSendOut, IfBroadcast, Nick, Computer, IP,
       replace(replace(First2Line, char(13), '\\r'), char(10), '\\n'), LogTime
     FROM \"$2\" WHERE $3 ORDER BY ID"
}

# rows_count ROWS: the number of lines.
rows_count() { [ -z "$1" ] && echo 0 || wc -l <<<"$1"; }

# readable ROWS: the rows with their column names, for a message.
readable() {
  local row f i out=""
  while IFS= read -r row; do
    IFS=$kSep read -r -a f <<<"$row"
    out+="{ID=${f[0]:-}"
    for i in "${!kColumns[@]}"; do out+=" ${kColumns[i]}='${f[i + 1]:-}'"; done
    out+="} "
  done <<<"$1"
  echo "${out:-none}"
}

# The names of a group row, in one order whatever order they were sent in.
sorted_names() { tr ';' '\n' <<<"$1" | sort | paste -sd ';'; }

# log_text HOST HOME TYPE ID: the text of a record, as `log show` prints it.
log_text() { labexec "$1" "$cli" --home "$QLM_LAB_DIR/$2" log show "$3" "$4" 2>&1; }

# compare TABLE TYPE WHAT: the desktop program's row sent out (IfSendOut 1:
# it also logs its own broadcast as received, and the CLI's, which the CLI's
# one-shot commands never hear) against every row of the CLI sender, so that
# a CLI row logged twice or with other flags shows. One row each, equal in
# every compared column except those in by_gui/by_cli, which must hold their
# values; LogTime only needs the stored form. The texts must be equal too.
compare() {
  local table=$1 type=$2 what=$3 gui_rows cli_rows g c i column gv cv key diffs=()
  gui_rows=$(log_rows home-gA "$table" "IfSendOut = 1") || { fail "$table: cannot read the desktop program's log"; return; }
  cli_rows=$(log_rows home-cliA "$table" "1 = 1") || { fail "$table: cannot read the CLI sender's log"; return; }
  if [ "$(rows_count "$cli_rows")" = 0 ]; then
    fail "$table: the CLI's $what logged no row on the sending node; the desktop program logged $(readable "$gui_rows")"
    return
  fi
  if [ "$(rows_count "$gui_rows")" != 1 ] || [ "$(rows_count "$cli_rows")" != 1 ]; then
    fail "$table: want one row from each sender, the desktop program logged $(readable "$gui_rows"), the CLI $(readable "$cli_rows")"
    return
  fi
  IFS=$kSep read -r -a g <<<"$gui_rows"
  IFS=$kSep read -r -a c <<<"$cli_rows"
  for i in "${!kColumns[@]}"; do
    column=${kColumns[i]}
    gv=${g[i + 1]:-}
    cv=${c[i + 1]:-}
    key="$table.$column"
    if [ "$key" = GroupMsg.Nick ]; then
      gv=$(sorted_names "$gv")
      cv=$(sorted_names "$cv")
    fi
    if [ "$column" = LogTime ]; then
      local form='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}$'
      [[ $gv =~ $form ]] && [[ $cv =~ $form ]] || diffs+=("LogTime not a stored time: desktop '$gv', CLI '$cv'")
    elif [ -n "${by_gui[$key]+set}" ]; then
      [ "$gv" = "${by_gui[$key]}" ] || diffs+=("$column: desktop '$gv', want '${by_gui[$key]}'")
      [ "$cv" = "${by_cli[$key]}" ] || diffs+=("$column: CLI '$cv', want '${by_cli[$key]}'")
    elif [ "$gv" != "$cv" ]; then
      diffs+=("$column: desktop '$gv', CLI '$cv'")
    fi
  done
  local gui_text cli_text
  gui_text=$(log_text 1 home-gA "$type" "${g[0]}")
  cli_text=$(log_text 2 home-cliA "$type" "${c[0]}")
  [ "$gui_text" = "$cli_text" ] || diffs+=("text: desktop '${gui_text//$'\n'/\\n}', CLI '${cli_text//$'\n'/\\n}'")
  if [ "${#diffs[@]}" -eq 0 ]; then
    pass "$table: the CLI's $what logs the row and text the desktop program logs"
  else
    local joined
    joined=$(printf '%s; ' "${diffs[@]}")
    fail "$table: the CLI's $what logs otherwise than the desktop program: ${joined%; }"
  fi
}

# wait_sent TABLE: the desktop program's sent row of TABLE is stored (at most 10 s).
wait_sent() {
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    [ -n "$(log_rows home-gA "$1" "IfSendOut = 1" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}

checks() {
  gui_lab_ready || return
  command -v sqlite3 >/dev/null || { fail "sqlite3 is missing"; return; }
  local src="$QLM_LAB_DIR/src"
  mkdir -p "$src/docs/sub"
  printf 'hello\n' >"$src/a.txt"
  head -c 200000 /dev/urandom >"$src/b.bin"
  printf 'c\n' >"$src/docs/c.txt"
  head -c 4000 /dev/urandom >"$src/docs/sub/d.bin"
  local files=("$src/a.txt" "$src/b.bin" "$src/docs")

  node_start r3 3
  node_start r4 4
  gui_start gA 1 Alice CloseAfterSendFile=0 || return
  # The CLI sender's settings: Alice's, under an id of its own.
  mkdir -p "$QLM_LAB_DIR/home-cliA"
  printf '[Quillmate Settings]\r\nNickname=Alice\r\nQLMId=LAB-Alice-cli\r\n' >"$QLM_LAB_DIR/home-cliA/Config.ini"

  local who computer3 computer4
  for who in r3 r4; do
    expect_dump gA "^row\t0x[0-9a-f]+\ttvUser\t0\.\d+\t[0-9,]+\t$who\$" "Alice's list shows $who" 20 || return
  done
  computer3=$(computer_of r3) && computer4=$(computer_of r4) ||
    { fail "r3 or r4 never listed itself: $(tail -n 2 "$QLM_LAB_DIR/r3.log" "$QLM_LAB_DIR/r4.log")"; return; }
  by_gui[Message.Nick]=r3 by_cli[Message.Nick]='<No_Nick>'
  by_gui[Message.Computer]=$computer3 by_cli[Message.Computer]=10.77.0.3
  by_gui[GroupMsg.Nick]=$(sorted_names "r3($computer3);r4($computer4)")
  by_cli[GroupMsg.Nick]='10.77.0.3;10.77.0.4'
  # sendfile's consignee has no nickname at all: NULL, as every column left
  # empty (a broadcast's Computer and IP), where send writes "<No_Nick>".
  by_gui[File.Nick]=r3 by_cli[File.Nick]='<NULL>'
  by_gui[File.Computer]=$computer3 by_cli[File.Computer]=10.77.0.3

  # By the desktop program.
  local main chat group cast form
  main=$(window_id gA TMainForm 'Quillmate - Alice') || { fail "Alice's main window is not shown"; return; }
  chat=$(open_chat gA "$main" r3) || { fail "double-clicking r3 opens no message window"; return; }
  click_part gA "$chat" text RichED
  type_lines gA "$chat" "$kMessage"
  keys gA "$chat" ctrl+Return
  expect_log r3 '"IPAddress":"10.77.0.1".*"Text":"Parity one.*"event":"WM_PEER_MESSAGE"' "r3 gets the desktop program's message"

  for who in r3 r4; do
    click gA "$main" "$(user_row gA "$main" "$who")"
    keys gA "$main" space
  done
  click_part gA "$main" button tbtnSendChecked
  group=$(window_id gA TNewMsgForm '(Send message to )?(r3,r4|r4,r3)') ||
    { fail "checking r3 and r4 and pressing the button opens no window to both: $(grep -P '^window' "$QLM_LAB_DIR/gA.state")"; return; }
  click_part gA "$group" text RichED
  type_lines gA "$group" "$kGroup"
  keys gA "$group" ctrl+Return
  for who in r3 r4; do
    expect_log "$who" '"IPAddress":"10.77.0.1".*"Text":"Parity group.*"event":"WM_PEER_MESSAGE"' "$who gets the desktop program's group message"
  done

  form=$(open_file_window gA "$main" r3) || { fail "the File button opened no file window to r3"; return; }
  paste_files gA "$form" "${files[@]}"
  expect_dump gA "^label\t$form\tsbTotal\t[0-9,]+\tTotal 3 file\(s\)\.\$" "the file window lists two files and the folder" || return
  click_part gA "$form" button tbtnSendFile
  expect_dump gA "^label\t$form\t[^\t]*\t[0-9,]+\tAll sent successfully\.\$" "the desktop program sends the files to r3" 30

  # Last: Alice's own copy of the broadcast pops up a notification.
  keys gA "$main" alt+t b
  cast=$(window_id gA TNewMsgForm Broadcast) || { fail "Tools - Broadcast opened no window"; return; }
  click_part gA "$cast" text RichED
  type_lines gA "$cast" "$kBroadcast"
  keys gA "$cast" ctrl+Return
  expect_log r3 '"IPAddress":"10.77.0.1".*"Text":"Parity broadcast.*"event":"WM_PEER_BROADCAST"' "r3 gets the desktop program's broadcast"

  # The same with quillmate-cli.
  by_cli send1 send --to 10.77.0.3 "$kMessage" || fail "send to r3: $(cat "$QLM_LAB_DIR/send1.out" "$QLM_LAB_DIR/send1.err")"
  expect_log r3 '"IPAddress":"10.77.0.2".*"Text":"Parity one.*"event":"WM_PEER_MESSAGE"' "r3 gets the CLI's message"
  by_cli send2 send --to 10.77.0.3,10.77.0.4 "$kGroup" || fail "send to r3 and r4: $(cat "$QLM_LAB_DIR/send2.out" "$QLM_LAB_DIR/send2.err")"
  for who in r3 r4; do
    expect_log "$who" '"IPAddress":"10.77.0.2".*"Text":"Parity group.*"event":"WM_PEER_MESSAGE"' "$who gets the CLI's group message"
  done
  by_cli cast broadcast "$kBroadcast" || fail "broadcast: $(cat "$QLM_LAB_DIR/cast.err")"
  expect_log r3 '"IPAddress":"10.77.0.2".*"Text":"Parity broadcast.*"event":"WM_PEER_BROADCAST"' "r3 gets the CLI's broadcast"
  by_cli files sendfile --to 10.77.0.3 "${files[@]}" && pass "the CLI sends the files to r3" ||
    fail "sendfile to r3: $(cat "$QLM_LAB_DIR/files.out" "$QLM_LAB_DIR/files.err")"

  # Both sides' rows.
  local table
  for table in Message GroupMsg File Broadcast; do
    wait_sent "$table" || fail "$table: the desktop program stored no sent row in 10 s"
  done
  compare Message single "send to one host"
  compare GroupMsg group "send to two hosts"
  compare Broadcast broadcast "broadcast"
  compare File file "sendfile"

  for who in r3 r4; do node_stop "$who"; done
}

lab_test_main 4 -- "$@"
