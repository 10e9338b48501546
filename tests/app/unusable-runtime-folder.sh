#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program started where it cannot have its instance lock:
#   unusable-runtime-folder.sh QUILLGATE
# XDG_RUNTIME_DIR names a folder that does not exist, a file, another user's folder, the user's
# folder that others may enter, or the user's folder where no file can be made. Each start prints
# one line to the error stream that names the folder (or the lock file) and why, ends with status
# 1 and makes nothing: no data or configuration folder, no lock, no socket. It never runs without
# the lock, where a second start would run beside it. The program has a display it could start on
# (Qt's offscreen platform). As root it runs as an unprivileged user, whom modes and owners bind.
set -eu
program=$1

root=$(mktemp -d "${TMPDIR:-/tmp}/kvruntime.XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The user's own folders under $root/user; another user's folder beside them.
user=$root/user
mkdir -p "$user/home" "$user/data" "$user/config" "$user/open" "$user/read-only"
: >"$user/file"
as_user=
if [ "$(id -u)" -eq 0 ]; then
  as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups"
  chown -R nobody:nogroup "$user"
  chmod 755 "$root"
  others=$root/others
  mkdir -m 700 "$others"
else
  # A folder of root's, the one owner an ordinary user surely is not.
  others=/
fi
chmod 700 "$user" "$user/home" "$user/data" "$user/config"
chmod 755 "$user/open"
chmod 500 "$user/read-only"
before=$(find "$user" | sort)

lead='Korvane Quillgate cannot start:'
failures=0
# CASE: a name, the runtime folder, and the line expected (a shell pattern).
check() {
  status=0
  env -i PATH="$PATH" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen HOME="$user/home" \
    XDG_DATA_HOME="$user/data" XDG_CONFIG_HOME="$user/config" XDG_RUNTIME_DIR="$2" \
    ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS} \
    $as_user timeout 10 "$program" >"$root/out" 2>"$root/err" </dev/null || status=$?
  err=$(cat "$root/err")
  problems=
  [ "$status" -eq 1 ] || problems="$problems status $status;"
  # shellcheck disable=SC2254 # the expected line is a pattern
  case $err in
  $3) ;;
  *) problems="$problems the error stream holds '$err';" ;;
  esac
  [ ! -s "$root/out" ] || problems="$problems the output holds '$(cat "$root/out")';"
  after=$(find "$user" | sort)
  [ "$after" = "$before" ] ||
    problems="$problems it made $(printf '%s\n' "$after" | grep -vxF "$before" | tr '\n' ' ');"
  before=$after
  if [ -n "$problems" ]; then
    echo "FAIL ($1):$problems" >&2
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

check "a folder that does not exist" "$user/missing" \
  "$lead the runtime folder $user/missing does not exist."
check "a file" "$user/file" "$lead the runtime folder $user/file is not a folder."
check "another user's folder" "$others" \
  "$lead the runtime folder $others is not yours (owned by uid 0)."
check "a folder others may enter" "$user/open" \
  "$lead the runtime folder $user/open is open to other users (mode 0755)."
check "a folder where no file can be made" "$user/read-only" \
  "$lead the lock file $user/read-only/quillgate-????????????????.lock cannot be made (access denied)."

[ "$failures" -eq 0 ] || fail "$failures of the starts above"
echo "PASS"
