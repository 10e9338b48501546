#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every save of the real tray program cut short at every step:
#   kill-and-fail-every-save.sh QUILLGATE JOURNEY OUTCOME... [--workers N]
# JOURNEY 1: the window opened from the tray, a site deleted and a new one added with its login,
#   the window moved; the closing then writes config.ini, urls.db, logins.db and records.db (the
#   deleted site's rule and version go, the new site's last login comes).
# JOURNEY 2: the window opened and moved, the master password typed, then "Save password" and the
#   start-at-log-on box ticked (master.key, the per-user key file and the autostart entry are
#   written at once), then the closing.
# Each OUTCOME in turn; kill: SIGKILL at the N-th call of each committing system call (fsync,
#   fdatasync, rename, renameat, renameat2, unlink, unlinkat, link, linkat, ftruncate), for every N
#   until a run goes through; ENOSPC, EIO, EACCES: that error at the N-th call instead; full-disk: one run with the
#   data folder on a full tmpfs (skipped with a message where mounting is not permitted), which in
#   journey 1 ends with "Exit" from the tray menu: its error box must stay until it is closed.
# The runs are shared among N workers (3 by default), each with its own X server and tray host:
# a run spends most of its time waiting for the program.
# strace attaches to the running program just before the user's step that saves (the closing is
# asked for with SIGTERM, which ends the program in order), so start-up calls are not counted.
# The uninjected run comes first: it gives the new bytes of every file and how often each call is
# made, which sets the last N (the run at one call more goes through: it is the uninjected run).
# After every run: each file holds exactly its old or its new bytes; an error was reported with
# its message (stderr while ending, the error box's text while the window is open) whenever a file
# did not get its new bytes, and the program never ended as if all had been saved; every login the
# lists pair with a site was given for that very site (none inherited from a deleted one); and the
# next opening (the next run's) leaves no temporary file of ours in the data folder.
# KV_FORM_LAYOUT is the tool that prints the window's form table.
set -eu
program=$1
journey=$2
shift 2
outcomes=
workers=3
while [ $# -gt 0 ]; do
  case $1 in
  --workers) workers=$2; shift 2 ;;
  kill | ENOSPC | EIO | EACCES | full-disk) outcomes="$outcomes $1"; shift ;;
  *) echo "unknown outcome $1" >&2; exit 2 ;;
  esac
done

# strace attaches to a program that is not its child: as root (CI), or where Yama allows it.
if [ "$(id -u)" -ne 0 ] && [ "$(cat /proc/sys/kernel/yama/ptrace_scope 2>/dev/null || echo 0)" -ne 0 ]; then
  echo "SKIP: strace may not attach to the program here (not root, kernel.yama.ptrace_scope > 0)"
  exit 77
fi

session_dir=$(cd "$(dirname "$0")/../app" && pwd)
. "$session_dir/x-session.sh"
make_scratch kvfaults
ref=$root # the old and new bytes, shared by the workers
mounted=
tracer=
worker_pids=
run_name=
fail() {
  echo "FAIL (journey $journey${run_name:+, $run_name}): $*" >&2
  [ -s "$root/stderr" ] && sed 's/^/  program: /' "$root/stderr" >&2
  exit 1
}
# Ends the program and its tracer, then unmounts the data folder once nothing uses it.
end_runs() {
  for pid in $app $tracer; do kill -KILL "$pid" 2>/dev/null || true; done
  [ -z "$app" ] || wait "$app" 2>/dev/null || true
  app=
  [ -z "$mounted" ] || umount "$mounted" 2>/dev/null || umount -l "$mounted" 2>/dev/null || true
  mounted=
}
end_all() {
  for pid in $worker_pids; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in $worker_pids; do wait "$pid" 2>/dev/null || true; done
  end_runs
  cleanup
}
trap end_all EXIT

# Sets the paths of one runner's private folders under $root.
use_folders() {
  mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
  chmod 700 "$root/run"
  data="$root/data/Korvane Quillgate"
  keys="$root/config/korvane-quillgate"
  autostart="$root/config/autostart/org.korvane.Quillgate.desktop"
  mkdir -p "$data"
  chmod 700 "$data"
}
mkdir -p "$ref/old" "$ref/new"
use_folders

master='correct horse 7'
new_url='https://delta.example/login'
new_login='dora'
# The window's place after the user moved it; config.ini holds the one it had before.
moved_x=211
moved_y=157

# The old state: three sites with their logins, and the logins of site 7, left behind by a closing
# that was cut short between the two lists. A new site must never take over "7:ghost", nor the
# logins of the site the journey deletes (3).
crlf() { printf '\357\273\277'; printf '%s\r\n' "$@"; }
crlf '1:https://alpha.example' '2:https://beta.example/path' '3:https://gamma.example' \
  >"$ref/old/urls.db"
crlf '1:ann' '2:bob' '3:cat' '3:carl' '7:ghost' >"$ref/old/logins.db"
# The sites' rules and versions: those of the site the journey deletes go, the rest stay as they
# are, a line that is no record and a field this version does not know included.
crlf '1:{"url":"https://alpha.example","rules":"minlength: 20;","from":"alpha.example"}' \
  '3:{"url":"https://gamma.example","login":"cat","version":2}' 'not a record' \
  '3:{"url":"https://gamma.example","rules":"minlength: 8;"}' \
  '1:{"url":"https://alpha.example","login":"ann","version":4,"later":true}' >"$ref/old/records.db"
# config.ini keeps lines the window does not own byte for byte.
printf '[Sites]\nLines=typed\n; a note of the user\n[Window]\nTop=100\nLeft=100\n[Other]\nKeep = me \n' \
  >"$ref/old/config.ini"

# Our temporaries: "." + the target's name + ".quillgate-tmp." + 8 hex digits.
hex='[0-9a-f]'
ours=".?*.quillgate-tmp.$hex$hex$hex$hex$hex$hex$hex$hex"
is_ours() {
  case $1 in $ours) return 0 ;; esac
  return 1
}
# The names of our temporaries in the folder, one a line.
strays_in() {
  for path in "$1"/$ours; do
    [ -e "$path" ] && echo "${path##*/}"
  done
  return 0
}

# Puts the old state back; temporaries a cut-short run left behind stay for the next opening.
restore_old() {
  for name in $(ls -A "$data"); do
    is_ours "$name" || [ "$name" = filler ] || rm -rf "${data:?}/$name"
  done
  cp "$ref/old/urls.db" "$ref/old/logins.db" "$ref/old/config.ini" "$ref/old/records.db" "$data/"
  rm -f "$autostart" "$keys/protection.key"
}

# --- one run ------------------------------------------------------------------------------------

# The controls' centres inside the window, read once from the form table: "NAME X Y" lines.
form_json=$(XDG_RUNTIME_DIR="$root/run" "${KV_FORM_LAYOUT:?the path of kv_form_layout}")
centres=$(printf '%s\n' "$form_json" | jq -r '.controls[] |
  "\(.name) \(.left + (.width / 2 | floor)) \(.top + (.height / 2 | floor))"')
site_buttons=$(printf '%s\n' "$form_json" | jq -r '.siteButton.width as $w | .siteButton.height as $h |
  .controls[] | select(.name == "bgThumbs") | "\(.left) \(.top) \($w) \($h)"')
# The xdotool words that move the pointer onto the named control and click it; the window is at
# the place it was moved to (no window manager adds a frame).
click_on() {
  set -- $(printf '%s\n' "$centres" | grep "^$1 ")
  echo "mousemove $((moved_x + $2)) $((moved_y + $3)) mousedown 1 mouseup 1"
}
click_site_button() { # position 0, 1, 2 in the first row
  set -- "$1" $site_buttons
  echo "mousemove $((moved_x + $2 + $1 * $4 + $4 / 2)) $((moved_y + $3 + $5 / 2)) mousedown 1 mouseup 1"
}
clipboard() { timeout 5 xclip -selection clipboard -o 2>/dev/null || true; }
clipboard_filled() { [ -n "$(clipboard)" ]; }
error_box() {
  box=$(xdotool search --onlyvisible --name '^Korvane Quillgate$' 2>/dev/null | head -n 1) &&
    [ -n "$box" ]
}
no_error_box() { ! xdotool search --onlyvisible --name '^Korvane Quillgate$' >/dev/null 2>&1; }
box_copied() { clipboard | head -n 1 | grep -qx 'Korvane Quillgate'; }

# The error box's text (Ctrl+C copies its caption and text; the clipboard held nothing of this
# program before), then "OK".
box_text=
read_error_box() {
  xdotool windowfocus --sync "$box" key ctrl+c
  within 5 box_copied || fail "Ctrl+C copied nothing from the error box"
  box_text="$box_text$(clipboard)
"
  xdotool key Return
  within 5 no_error_box || fail "the error box did not close"
}

# Attaches strace to the program with the given syscalls traced and, unless empty, the injection.
attach_tracer() {
  if [ -n "$2" ]; then
    strace -f -q -p "$app" -o "$root/trace" -e trace="$1" -e inject="$1:$2" 2>"$root/strace.err" &
  else
    strace -f -q -p "$app" -o "$root/trace" -e trace="$1" 2>"$root/strace.err" &
  fi
  tracer=$!
  wait_until 10 "strace to attach" traced
}
traced() {
  for status in /proc/"$app"/task/*/status; do
    grep -q '^TracerPid:[[:space:]]*[1-9]' "$status" 2>/dev/null || return 1
  done
}

# Waits for the user's step to be handled: the file it writes appears, an error box opens, or the
# program has ended.
step_done() { [ -e "$1" ] || error_box || program_gone; }

# Opens the window of a new start and checks that no temporary of ours is left: the opening (and,
# for the key file's folder, the start) removes what the run before left behind.
start_and_open() {
  start_program
  wait_for_icon
  open_by_double_click
  left=$(strays_in "$data")$(strays_in "$keys")
  [ -z "$left" ] || fail "the next start left temporary files behind: $left"
}

# run_once SYSCALLS INJECTION: one journey, INJECTION empty for the uninjected run. Sets $status,
# $injected (yes/no) and $box_text.
run_once() {
  restore_old
  box_text=
  : >"$root/trace"
  start_and_open
  # Few xdotool calls for all the steps (the X server takes them in order, and so does the
  # program); "type" takes the rest of its command line, so it ends each. The window is moved
  # first, to a place of its own.
  xdotool windowmove "$window" $moved_x $moved_y windowfocus "$window" \
    $(click_on edMasterPass) type --delay 0 "$master"
  if [ "$journey" = 1 ]; then
    # The third site's button, then "Delete URL": site 3 and its logins go; then a new site with
    # its login, and "Copy".
    xdotool $(click_site_button 2) $(click_on sbDeleteURL) $(click_on edURL) \
      type --delay 0 "$new_url"
    xdotool $(click_on edLogin) type --delay 0 "$new_login"
    xdotool $(click_on bbGenerate) $(click_on sbCopy)
    # A round trip: once "Copy" has filled the clipboard (empty since the last run's program
    # ended), every step before has been handled.
    wait_until 5 "the password on the clipboard" clipboard_filled
    attach_tracer "$1" "$2"
  else
    attach_tracer "$1" "$2"
    xdotool $(click_on cbSave)
    wait_until 10 "\"Save password\" to be handled" step_done "$data/master.key"
    if error_box; then read_error_box; fi
    if ! program_gone; then
      xdotool $(click_on cbRunOnStartup)
      wait_until 10 "the start-at-log-on box to be handled" step_done "$autostart"
      if error_box; then read_error_box; fi
    fi
  fi
  # The closing: SIGTERM ends the program in order, saving as it goes; or "Exit" from the tray
  # menu, after which an error box must stay until the user has closed it.
  if [ "${ending:-term}" = menu ] && ! program_gone; then
    choose_from_tray_menu 2
    wait_until 20 "the program to end or report" step_done /nonexistent
    # Once its box is closed the program ends by itself; a signal sent meanwhile would meet it
    # halfway through its end.
    if error_box; then
      read_error_box
      wait_until 20 "the program to end after its box" program_gone
    fi
  fi
  program_gone || kill -TERM "$app"
  wait_until 20 "the program to end" program_gone
  status=0
  wait "$app" || status=$?
  app=
  wait "$tracer" 2>/dev/null || true
  tracer=
  if grep -qE "INJECTED|killed by SIGKILL" "$root/trace"; then injected=yes; else injected=no; fi
}

# --- checks -------------------------------------------------------------------------------------

files_checked=0
strays=0
# same_bytes FILE REFERENCE: both missing, or both present with the same bytes.
same_bytes() {
  if [ -e "$2" ]; then [ -e "$1" ] && cmp -s "$1" "$2"; else [ ! -e "$1" ]; fi
}
# A sealed blob or key holds random bytes that differ from run to run: the new file must have the
# reference's size and header (magic and version).
same_shape() {
  [ -e "$1" ] && [ "$(wc -c <"$1")" -eq "$(wc -c <"$2")" ] &&
    [ "$(head -c 5 "$1" | od -An -tx1)" = "$(head -c 5 "$2" | od -An -tx1)" ]
}
# The place and kind of each file a journey may write.
file_path() {
  case $1 in
  protection.key) echo "$keys/$1" ;;
  autostart) echo "$autostart" ;;
  *) echo "$data/$1" ;;
  esac
}
# URL<TAB>login for every login the lists pair with a site.
pairs() { # URLS LOGINS
  [ -e "$1" ] && [ -e "$2" ] || return 0
  awk 'BEGIN { FS = ":" }
    { sub(/^\357\273\277/, ""); sub(/\r$/, "") }
    FNR == NR { i = $1; sub(/^[^:]*:/, ""); if (!(i in url)) url[i] = $0; next }
    { i = $1; sub(/^[^:]*:/, ""); if (i in url) print url[i] "\t" $0 }' "$1" "$2" | sort -u
}

# The report of a save of NAME that failed: its own message, or the stream's when the bytes could
# not be written.
reported() {
  case $1 in
  config.ini) set -- "Unable to write to $data/config.ini." ;;
  urls.db | logins.db | records.db) set -- "Cannot create file \"$data/$1\". " "Stream write error." ;;
  master.key)
    set -- "Cannot create file \"$data/master.key\". " "Stream write error." \
      "Failed to save master key [Windows error code: "
    ;;
  protection.key) set -- "Failed to save master key [Windows error code: " ;;
  autostart) set -- "Failed to set data for 'Korvane Quillgate'" ;;
  esac
  for text in "$@"; do
    printf '%s\n' "$messages" | grep -qF -- "$text" && return 0
  done
  return 1
}

check_run() { # OUTCOME: what happened to the files, the messages and the logins
  not_new=
  for name in $changed; do
    path=$(file_path "$name")
    files_checked=$((files_checked + 1))
    if same_bytes "$path" "$ref/old/$name"; then
      not_new="$not_new $name"
    elif case $name in master.key | protection.key) same_shape "$path" "$ref/new/$name" ;; *) same_bytes "$path" "$ref/new/$name" ;; esac then
      :
    else
      fail "$name holds neither its old nor its new bytes"
    fi
  done
  # master.key is sealed under the key file's key: never the blob without its key.
  if [ -e "$data/master.key" ] && [ ! -e "$keys/protection.key" ]; then
    fail "master.key was written but its key was not"
  fi
  # Nothing but the program's files and temporaries of ours in the data folder.
  for name in $(ls -A "$data"); do
    case $name in urls.db | logins.db | records.db | config.ini | master.key | filler) ;; *)
      is_ours "$name" || fail "a stranger in the data folder: $name" ;;
    esac
  done
  strays=$((strays + $(strays_in "$data" | wc -l) + $(strays_in "$keys" | wc -l)))
  # No site shows a login that was not given for that very site.
  inherited=$(pairs "$data/urls.db" "$data/logins.db" | comm -23 - "$ref/given")
  [ -z "$inherited" ] || fail "a site took over logins that were not given for it: $inherited"

  messages="$(cat "$root/stderr")
$box_text"
  if [ "$1" = kill ]; then
    [ "$injected" = no ] || [ "$status" -eq 137 ] || fail "the killed program ended with status $status"
    return 0
  fi
  [ "$status" -eq 0 ] || fail "exit status $status after a failure"
  # Each step that saves reports its first failure: "Save password" (the key, then master.key),
  # the start-at-log-on box, the closing (config.ini, urls.db, logins.db, records.db, which runs on
  # after a failure and reports the first one). The first file of each that kept its old bytes is named,
  # with the system's reason.
  for step in "protection.key master.key" autostart "config.ini urls.db logins.db records.db"; do
    for name in $step; do
      case " $not_new " in *" $name "*)
        reported "$name" || fail "$name kept its old bytes and no report said so: '$messages'"
        break
        ;;
      esac
    done
  done
}

# --- the uninjected run -------------------------------------------------------------------------

start_display
start_tray
committing=fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,link,linkat,ftruncate

run_name="uninjected"
run_once "$committing" ""
[ "$status" -eq 0 ] || fail "the uninjected run ended with status $status"
[ -z "$box_text" ] || fail "the uninjected run reported: $box_text"
[ ! -s "$root/stderr" ] || fail "the uninjected run reported errors"
changed=
for name in urls.db logins.db records.db config.ini master.key protection.key autostart; do
  path=$(file_path "$name")
  [ ! -e "$path" ] || cp "$path" "$ref/new/$name"
  same_bytes "$ref/new/$name" "$ref/old/$name" || changed="$changed $name"
done
cp "$root/trace" "$ref/reference-trace"
{ pairs "$ref/old/urls.db" "$ref/old/logins.db"; pairs "$ref/new/urls.db" "$ref/new/logins.db"; } |
  sort -u >"$ref/given"
grep -q '^Top=157' "$ref/new/config.ini" && grep -q '^Left=211' "$ref/new/config.ini" ||
  fail "the moved window's place: $(cat "$ref/new/config.ini")"
grep -qx '; a note of the user' "$ref/new/config.ini" && grep -qx 'Keep = me ' "$ref/new/config.ini" ||
  fail "config.ini lost lines it does not own: $(cat "$ref/new/config.ini")"
if [ "$journey" = 1 ]; then
  # The new site takes an index that neither list has held: 8, past the logins of site 7.
  tr -d '\r' <"$ref/new/urls.db" | grep -qx "8:$new_url" ||
    fail "the new site's line: $(cat "$ref/new/urls.db")"
  # The deleted site's records went with it; every other line stayed as it was, and the new site's
  # last login came after them.
  { grep -v '^3:' "$ref/old/records.db"
    printf '8:{"url":"%s","last-login":"%s"}\r\n' "$new_url" "$new_login"; } |
    cmp -s - "$ref/new/records.db" ||
    fail "records.db after the deletion: $(cat "$ref/new/records.db")"
else
  for name in master.key protection.key autostart; do
    [ -e "$ref/new/$name" ] || fail "the uninjected run wrote no $name"
  done
fi
summary=
points=
for syscall in $(echo "$committing" | tr , ' '); do
  calls=$(grep -c "^[0-9]* *$syscall(" "$ref/reference-trace" || true)
  [ "$calls" -eq 0 ] || summary="$summary $syscall=$calls"
  n=1
  while [ "$n" -le "$calls" ]; do
    points="$points $syscall:$n"
    n=$((n + 1))
  done
done
runs=1

# --- a full disk --------------------------------------------------------------------------------

case " $outcomes " in *" full-disk "*)
  run_name="full disk"
  restore_old
  rm -rf "$data"
  mkdir -p "$data"
  if mount -t tmpfs -o size=64k,mode=0700 tmpfs "$data" 2>"$root/mount.err"; then
    mounted=$data
    cp "$ref/old/urls.db" "$ref/old/logins.db" "$ref/old/config.ini" "$ref/old/records.db" "$data/"
    # Every free block taken: the temporary files can be made, but not one byte written to them.
    dd if=/dev/zero of="$data/filler" bs=1024 2>/dev/null || true
    # The first journey ends with "Exit" from the tray menu: its error box must be seen.
    [ "$journey" = 2 ] || ending=menu
    run_once "$committing" ""
    ending=term
    runs=$((runs + 1))
    check_run full-disk
    for name in urls.db logins.db records.db config.ini master.key; do
      same_bytes "$data/$name" "$ref/old/$name" || fail "$name changed on a full disk"
    done
    [ -n "$box_text$(cat "$root/stderr")" ] || fail "a full disk was not reported"
    [ "$journey" = 2 ] || [ -n "$box_text" ] || fail "\"Exit\" took the error box away unread"
    end_runs
    echo "full disk: every file kept its old bytes; reported: $(cat "$root/stderr") $box_text" |
      tr '\n' ' '
    echo
  else
    echo "SKIP full disk: a tmpfs cannot be mounted here: $(cat "$root/mount.err")"
  fi
  rm -rf "$data"
  use_folders
  ;;
esac

# --- the injected runs, shared among the workers ------------------------------------------------

: >"$ref/todo"
for outcome in $outcomes; do
  [ "$outcome" = full-disk ] && continue
  for point in $points; do echo "$outcome $point" >>"$ref/todo"; done
done

# worker K: the runs of lines K, K + workers, ... of the list, then one more start; counts go to
# $ref/counts.K.
worker() {
  k=$1
  run_name="worker $k"
  if [ "$k" -gt 0 ]; then
    # A runner of its own: scratch folders, X server, tray host.
    root=$ref/w$k
    mkdir -p "$root"
    use_folders
    app=
    tracer=
    tray=
    xvfb=
    trap 'end_runs; for pid in $tray $xvfb; do kill "$pid" 2>/dev/null || true; done' EXIT
    trap 'exit 143' TERM
    start_display
    start_tray
  fi
  done_runs=0
  injected_runs=0
  line=0
  while read -r outcome syscall_n; do
    line=$((line + 1))
    [ $(((line - 1) % workers)) -eq "$k" ] || continue
    syscall=${syscall_n%:*}
    n=${syscall_n#*:}
    case $outcome in
    kill) injection=signal=SIGKILL ;;
    *) injection=error=$outcome ;;
    esac
    run_name="$outcome at $syscall #$n"
    run_once "$syscall" "$injection:when=$n"
    done_runs=$((done_runs + 1))
    [ "$injected" = yes ] || fail "call $n of $syscall was never made"
    injected_runs=$((injected_runs + 1))
    check_run "$outcome"
  done <"$ref/todo"
  # The next start after the last run: nothing of ours is left.
  run_name="worker $k, the next start"
  restore_old
  start_and_open
  kill -TERM "$app"
  wait_for_end "the last start"
  echo "$done_runs $injected_runs $files_checked $strays" >"$ref/counts.$k"
}

k=1
while [ "$k" -lt "$workers" ]; do
  worker "$k" &
  worker_pids="$worker_pids $!"
  k=$((k + 1))
done
worker 0
failed=0
for pid in $worker_pids; do wait "$pid" || failed=1; done
worker_pids=
[ "$failed" -eq 0 ] || fail "a worker failed"

total_runs=$runs
total_injected=0
total_files=0
total_strays=0
k=0
while [ "$k" -lt "$workers" ]; do
  read -r r i f s <"$ref/counts.$k"
  total_runs=$((total_runs + r + 1))
  total_injected=$((total_injected + i))
  total_files=$((total_files + f))
  total_strays=$((total_strays + s))
  k=$((k + 1))
done
echo "journey $journey,$outcomes: $total_runs runs (with the uninjected one and each worker's" \
  "last start), $total_injected injected: $(echo $outcomes | sed 's/ *full-disk//') at each call of" \
  "$summary; $total_files file states checked; $total_strays temporary files left by cut-short" \
  "runs, all removed by the next start"
