#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program started where no display can be opened:
#   no-display.sh QUILLGATE
# Whether no display is named at all, or the X11 or Wayland display named is served by nobody, it
# prints one line to the error stream that says so and names the display variables, and ends with
# status 1 (not Qt's abort); it leaves no lock behind, so a later start is not taken for a second
# one.
set -eu
program=$1

root=$(mktemp -d "${TMPDIR:-/tmp}/kvnodisplay.XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

# An X display number nobody serves: no lock and no socket for it.
n=$(($$ % 500 + 600))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done

failures=0
# CASE: a name; then the environment's changes for env(1); then the line expected.
check() {
  name=$1
  changes=$2
  expected=$3
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_DATA_HOME="$root/data" \
    XDG_CONFIG_HOME="$root/config" $changes timeout 30 "$program" >"$root/out" 2>"$root/err" ||
    status=$?
  problems=
  [ "$status" -eq 1 ] || problems="$problems status $status;"
  [ "$(cat "$root/err")" = "$expected" ] || problems="$problems the error stream holds '$(cat "$root/err")';"
  [ ! -s "$root/out" ] || problems="$problems the output holds '$(cat "$root/out")';"
  ! ls "$root"/run/*.lock >/dev/null 2>&1 || problems="$problems a lock is left behind;"
  if [ -n "$problems" ]; then
    echo "FAIL ($name):$problems" >&2
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

check "no display named" "" \
  'Korvane Quillgate cannot start: no display could be opened (DISPLAY is not set, WAYLAND_DISPLAY is not set).'
check "an X11 display nobody serves" "DISPLAY=:$n" \
  "Korvane Quillgate cannot start: no display could be opened (DISPLAY is \":$n\", WAYLAND_DISPLAY is not set)."
check "an X11 display nobody serves, asked for by name" "DISPLAY=:$n QT_QPA_PLATFORM=xcb" \
  "Korvane Quillgate cannot start: no display could be opened (DISPLAY is \":$n\", WAYLAND_DISPLAY is not set)."
check "a Wayland display nobody serves" "WAYLAND_DISPLAY=kv-nobody-$n" \
  "Korvane Quillgate cannot start: no display could be opened (DISPLAY is not set, WAYLAND_DISPLAY is \"kv-nobody-$n\")."

[ "$failures" -eq 0 ] || fail "$failures of the starts above"
echo "PASS"
