#!/bin/sh
# Runs a command on a private Xvfb display managed by openbox, so windows get real frames:
#   with-window-manager.sh COMMAND [ARGS...]
set -eu

root=$(mktemp -d "${TMPDIR:-/tmp}/kvwm.XXXXXX")
xvfb=
wm=
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/run" "$root/home"
chmod 700 "$root/run"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
xvfb=$!
i=0
until [ -s "$root/display" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
DISPLAY=:$(cat "$root/display")
export DISPLAY

HOME="$root/home" openbox --startup "touch $root/ready" >/dev/null 2>&1 &
wm=$!
i=0
until [ -e "$root/ready" ]; do
  i=$((i + 1)); [ $i -gt 200 ] && { echo "openbox did not start" >&2; exit 1; }
  sleep 0.05
done

QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$root/run" "$@"
