#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program started on a desktop with no tray yet, as at a log-on where the panel
# comes late or never, on a private Xvfb with a session bus and a wait of one second
# (config.ini [Tray] WaitAtStart=1):
#   no-tray-at-start.sh QUILLGATE PANEL status-notifier|docked|none
# After the wait one box says that there is no tray, and the program keeps running. Then:
#   status-notifier  a StatusNotifierItem panel starts (PANEL plays it): the program's item
#                    registers, Activate opens the window (a single activation opens it there),
#                    and "Exit" from the item's menu ends the program, the box still open.
#   docked           an XEmbed tray host starts: the icon docks there, and a double-click on it
#                    opens the window.
#   none             no tray ever: the box stays the only one, and starting the program again (as
#                    from the application menu) opens the window.
# Except where "Exit" ends it, the program is then ended with SIGTERM; the window's lists and
# position must be on disk.
set -eu
program=$1
sni_panel=$2
how=$3

. "$(dirname "$0")/x-session.sh"
make_scratch kvnotray
data="$root/data/Korvane Quillgate"
mkdir -p "$root/run" "$root/home" "$data" "$root/config"
chmod 700 "$root/run"
printf '[Tray]\r\nWaitAtStart=1\r\n' >"$data/config.ini"

start_display
start_session_bus
start_program

# The box has the program's title as its caption (the main window's caption has the version).
boxes() { xdotool search --onlyvisible --name '^Korvane Quillgate$' 2>/dev/null | wc -l; }
box_shown() { [ "$(boxes)" -ge 1 ]; }
wait_until 20 "the box that says there is no tray" box_shown
kill -0 "$app" 2>/dev/null || fail "the program ended without a tray"

case $how in
status-notifier)
  start_watcher
  wait_for_item
  "$sni_panel" activate $item || fail "Activate was not answered"
  wait_for_window
  "$sni_panel" click $item Exit || fail "Exit was not answered"
  wait_for_end "Exit from the item's menu"
  ;;
docked)
  start_tray
  wait_for_icon
  open_by_double_click
  ;;
none)
  # Two more looks for a tray have passed: still the one box.
  sleep 2.2
  [ "$(boxes)" -eq 1 ] || fail "$(boxes) boxes about the missing tray"
  status=0
  env HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_DATA_HOME="$root/data" \
    XDG_CONFIG_HOME="$root/config" QT_QPA_PLATFORM=xcb timeout 10 "$program" || status=$?
  [ "$status" -eq 0 ] || fail "the second start ended with status $status"
  wait_for_window
  ;;
*)
  fail "unknown case $how"
  ;;
esac

if [ -n "$app" ]; then
  kill -TERM "$app"
  wait_for_end "SIGTERM"
fi
for file in urls.db logins.db; do
  [ -e "$data/$file" ] || fail "$file was not saved"
done
grep -q '^Top=' "$data/config.ini" || fail "config.ini holds no window position: $(cat "$data/config.ini")"
grep -q '^WaitAtStart=1' "$data/config.ini" || fail "config.ini lost the wait: $(cat "$data/config.ini")"
[ ! -s "$root/stderr" ] || fail "the program wrote to the error stream"
echo "PASS"
