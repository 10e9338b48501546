#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program's command line, where no display can be opened:
#   command-line.sh QUILLGATE VERSION
# --help and --version print and end with status 0 and a mistake is named in one line with status
# 2, all without a display and without taking the instance lock; Qt's own options (those a
# session manager's restart command carries among them) go on to Qt, so such a start gets as far
# as the display.
set -eu
program=$1
version=$2

root=$(mktemp -d "${TMPDIR:-/tmp}/kvcommandline.XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

# An X display number nobody serves.
n=$(($$ % 500 + 600))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

no_display='Korvane Quillgate cannot start: no display could be opened (DISPLAY is not set, WAYLAND_DISPLAY is not set).'
usage_start='Usage: quillgate [--help | --version]'

failures=0
# CASE: a name, the status expected, the output's first line expected, the error stream expected;
# then the arguments.
check() {
  name=$1 expected_status=$2 expected_out=$3 expected_err=$4
  shift 4
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_DATA_HOME="$root/data" \
    XDG_CONFIG_HOME="$root/config" timeout 30 "$program" "$@" >"$root/out" 2>"$root/err" ||
    status=$?
  problems=
  [ "$status" -eq "$expected_status" ] || problems="$problems status $status;"
  [ "$(head -n 1 "$root/out")" = "$expected_out" ] ||
    problems="$problems the output holds '$(cat "$root/out")';"
  [ "$(cat "$root/err")" = "$expected_err" ] ||
    problems="$problems the error stream holds '$(cat "$root/err")';"
  # Only a start that went on to open a display may have made the data folder.
  made=$(find "$root/run" "$root/data" -mindepth 1)
  [ "$expected_err" = "$no_display" ] || [ -z "$made" ] || problems="$problems it made $made;"
  ! ls "$root"/run/*.lock >/dev/null 2>&1 || problems="$problems a lock is left behind;"
  if [ -n "$problems" ]; then
    echo "FAIL ($name):$problems" >&2
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

check "--help" 0 "$usage_start" "" --help
check "-h" 0 "$usage_start" "" -h
check "--help after a Qt option" 0 "$usage_start" "" -platform xcb --help
check "--version" 0 "quillgate $version" "" --version
check "an unknown option" 2 "" 'quillgate: unknown option "--nope". Try "quillgate --help".' --nope
check "an unknown option before --help" 2 "" \
  'quillgate: unknown option "-x". Try "quillgate --help".' -x --help
check "a Qt option in a form Qt does not read" 2 "" \
  'quillgate: unknown option "-platform=xcb". Try "quillgate --help".' -platform=xcb
check "an argument" 2 "" \
  'quillgate: unexpected argument "help"; it takes none. Try "quillgate --help".' help
check "a Qt option without its value" 2 "" \
  'quillgate: option "-session" needs a value. Try "quillgate --help".' -session
check "a session manager's restart command" 1 "" "$no_display" \
  -session 10d1b2c3d4e5f6_1700000000_123456 -name "Korvane Quillgate"
check "Qt's options, with one dash or two" 1 "" "$no_display" \
  -platform xcb --display ":$n" -style fusion -stylesheet=none.qss -reverse --qwindowtitle T

[ "$failures" -eq 0 ] || fail "$failures of the starts above"
echo "PASS"
