#!/bin/sh
# Runs a command on a private session bus with a fresh, unlocked GNOME Keyring in a throw-away
# home, so tests meet a real Secret Service and never the user's own keyring:
#   with-keyring.sh [--bus-only] COMMAND [ARGS...]
# --bus-only starts the private bus but no keyring daemon (the bus may still start one on demand,
# in the same throw-away home, with no keyring in it).
set -eu

daemon=yes
if [ "${1:-}" = "--bus-only" ]; then
  daemon=no
  shift
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/kvkeyring.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/data" "$root/config" "$root/cache" "$root/run"
chmod 700 "$root/run"

# No DISPLAY: nothing may ever reach a password prompt. The unlock password must not be empty,
# or the daemon tries to prompt for one.
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
  HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
  XDG_CACHE_HOME="$root/cache" XDG_RUNTIME_DIR="$root/run" KV_START_KEYRING=$daemon \
  dbus-run-session -- sh -c '
    [ "$KV_START_KEYRING" = no ] && exec "$@"
    eval "$(printf %s test-keyring-password | gnome-keyring-daemon --unlock --components=secrets)"
    # Wait until the daemon owns its name, or a second one may be started on demand.
    i=0
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q "boolean true"; do
      i=$((i + 1))
      if [ "$i" -gt 100 ]; then
        echo "with-keyring.sh: the keyring daemon did not start" >&2
        exit 1
      fi
      sleep 0.1
    done
    "$@"
  ' with-keyring "$@"
