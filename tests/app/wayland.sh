#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program in a Wayland session: a headless sway (a compositor with a seat, as every
# desktop has), the panel a StatusNotifier one played by kv_status_notifier_panel on a private
# session bus, the program on Qt's Wayland platform with no X display:
#   wayland.sh QUILLGATE PANEL
# A Wayland window can neither read nor set its position. A first run: the item registers, Activate
# maps the window, SIGTERM ends the program with the lists saved and no position in config.ini. A
# run with a stored position: "Exit" from the item's menu with the window open saves the lists and
# leaves config.ini byte for byte as it was.
set -eu
program=$1
sni_panel=$2

. "$(dirname "$0")/x-session.sh"
make_scratch kvwayland
fail() {
  echo "FAIL: $*" >&2
  for log in "$root/stderr" "$root/watcher.log" "$root/sway.log"; do
    [ -s "$log" ] && sed "s|^|  $(basename "$log"): |" "$log" >&2
  done
  exit 1
}
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config" "$root/sway"
chmod 700 "$root/run"
unset DISPLAY
qpa_platform=wayland

# sway refuses to run as root: as root (CI) it runs as nobody, its runtime folder that user's and
# the scratch folder open to it for passing through; the program, as root, still reaches its socket.
as_compositor_user=
if [ "$(id -u)" -eq 0 ]; then
  as_compositor_user="setpriv --reuid=nobody --regid=nogroup --clear-groups"
  chmod 711 "$root"
  chown nobody:nogroup "$root/sway"
fi
chmod 700 "$root/sway"
printf 'output HEADLESS-1 resolution 1024x768\nxwayland disable\n' >"$root/sway.conf"
chmod 644 "$root/sway.conf"
env -i PATH="$PATH" HOME="$root/sway" XDG_RUNTIME_DIR="$root/sway" WLR_BACKENDS=headless \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman $as_compositor_user sway -c "$root/sway.conf" \
  >"$root/sway.log" 2>&1 &
others=$!

# sway names its Wayland socket (the first free wayland-N) and its command socket in that folder.
compositor_ready() {
  WAYLAND_DISPLAY=$(find "$root/sway" -maxdepth 1 -type s -name 'wayland-*' | head -n 1)
  swaysock=$(find "$root/sway" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n 1)
  [ -n "$WAYLAND_DISPLAY" ] && [ -n "$swaysock" ]
}
wait_until 10 "sway's sockets" compositor_ready
export WAYLAND_DISPLAY

# The program's windows that the compositor shows, "NAME" a line.
mapped_windows() {
  env -i XDG_RUNTIME_DIR="$root/sway" SWAYSOCK="$swaysock" $as_compositor_user swaymsg -t get_tree |
    jq -r --argjson pid "$app" '.. | objects | select(.pid? == $pid and .visible == true) | .name'
}
main_window_mapped() { [ "$(mapped_windows)" = 'Korvane Quillgate v1.5' ]; }

call() { "$sni_panel" "$@" >/dev/null || fail "the panel's call '$*' was not answered"; }
# The item registered after the watcher's first $seen lines: this run's, not an earlier one's.
new_item_registered() {
  item=$(tail -n +$((seen + 1)) "$root/watcher.log" | sed -n 's/^registered //p' | tail -n 1) &&
    [ -n "$item" ]
}
# Starts the program, opens its window from its item, and checks that the window is mapped.
start_and_open_window() {
  seen=$(wc -l <"$root/watcher.log")
  start_program
  wait_until 10 "the program's StatusNotifier item" new_item_registered
  call activate $item
  wait_until 10 "the main window to be mapped" main_window_mapped
}

start_session_bus
start_watcher
data="$root/data/Korvane Quillgate"

# The first run on Wayland, ended by SIGTERM with the window open.
start_and_open_window
kill -TERM "$app"
wait_for_end SIGTERM
for file in urls.db logins.db config.ini; do
  [ -e "$data/$file" ] || fail "$file was not saved at the first run's end"
done
! grep -qiE '^(Top|Left)=|^\[Window\]' "$data/config.ini" ||
  fail "the first run wrote a window position: $(cat "$data/config.ini")"

# A position stored in an X11 session, then a run on Wayland ended by "Exit" from the item's menu.
printf '[Window]\r\nTop=-40\r\nLeft=1700\r\n[Sites]\r\nLines=typed\r\n' >"$data/config.ini"
cp "$data/config.ini" "$root/config.before"
rm "$data/urls.db" "$data/logins.db"
start_and_open_window
call click $item Exit
wait_for_end "Exit from the item's menu"
for file in urls.db logins.db; do
  [ -e "$data/$file" ] || fail "$file was not saved at \"Exit\""
done
cmp -s "$root/config.before" "$data/config.ini" ||
  fail "config.ini changed: $(cat "$data/config.ini")"
[ ! -s "$root/stderr" ] || fail "the program wrote to the error stream"
echo "PASS"
