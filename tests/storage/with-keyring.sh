#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a private session bus with a fresh, unlocked GNOME Keyring in a throw-away
# home, so tests meet a real Secret Service and never the user's own keyring:
#   with-keyring.sh [--bus-only] COMMAND [ARGS...]
# --bus-only starts the private bus but no keyring daemon (the bus may still start one on demand,
# in the same throw-away home, with no keyring in it). The bus, the keyring daemon (which ends with
# its bus) and the command are ended and the home removed however the script ends, also when it is
# killed by SIGINT, SIGTERM or SIGHUP.
set -eu

. "$(dirname "$0")/../app/wait-until.sh"
fail() { echo "with-keyring.sh: $*" >&2; exit 1; }

daemon=yes
if [ "${1:-}" = "--bus-only" ]; then
  daemon=no
  shift
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/kvkeyring.XXXXXX")
bus=
child=
cleanup() {
  trap - EXIT HUP INT TERM
  for pid in $child $bus; do
    kill "$pid" 2>/dev/null || true
  done
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$root/home" "$root/data" "$root/config" "$root/cache" "$root/run"
chmod 700 "$root/run"

# No DISPLAY: nothing may ever reach a password prompt.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config"
XDG_CACHE_HOME="$root/cache" XDG_RUNTIME_DIR="$root/run"
export HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$root/bus-address" \
  >/dev/null 2>&1 &
bus=$!
wait_until 10 "the session bus" test -s "$root/bus-address"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$root/bus-address")
export DBUS_SESSION_BUS_ADDRESS

keyring_owns_its_name() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
    grep -q "boolean true"
}
if [ "$daemon" = yes ]; then
  # The unlock password must not be empty, or the daemon tries to prompt for one.
  eval "$(printf %s test-keyring-password | gnome-keyring-daemon --unlock --components=secrets)"
  # Until the daemon owns its name, a second one may be started on demand.
  wait_until 10 "the keyring daemon" keyring_owns_its_name
fi

# In the background, so that a signal reaches the trap at once rather than after the command.
"$@" &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
