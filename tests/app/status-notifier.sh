#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program on a desktop whose panel shows StatusNotifierItems (KDE Plasma, GNOME with
# its AppIndicator extension), the panel played by kv_status_notifier_panel on a private session
# bus, the window on a private Xvfb:
#   status-notifier.sh QUILLGATE PANEL
# The program's item registers with the watcher, with the program's title, tooltip, icon and menu.
# Activate (a click on the icon) opens the main window; Activate and "Show" again while it is open
# keep it the one window; after the panel restarts the item registers again; "Exit" from the
# item's menu ends the program with its lists and position saved. The panel waits for the answer
# to each call, so every one must answer at once, whatever the window does meanwhile.
set -eu
program=$1
sni_panel=$2

. "$(dirname "$0")/x-session.sh"
make_scratch kvsni
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

start_display
start_session_bus
start_watcher
start_program
wait_for_item
echo "item: $item"

# What the panel shows: the title and tooltip, an icon, and the menu.
"$sni_panel" show $item >"$root/item" || fail "the item's properties cannot be read"
for expected in 'Title=Korvane Quillgate' 'ToolTipTitle=Korvane Quillgate' 'Status=Active'; do
  grep -qx "$expected" "$root/item" || fail "the item lacks $expected: $(cat "$root/item")"
done
grep -q '^IconPixmap=[0-9]*x[0-9]* visible=[1-9]' "$root/item" || grep -q '^IconName=.' "$root/item" ||
  fail "the item has no icon to show: $(cat "$root/item")"
labels=$("$sni_panel" menu $item | cut -d' ' -f2- | tr '\n' '|')
[ "$labels" = "Show|Exit|" ] || fail "the item's menu holds '$labels'"

# Each call the panel makes is answered (the panel gives up after its time limit and fails).
call() { "$sni_panel" "$@" || fail "the panel's call '$*' was not answered"; }
windows() { xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' 2>/dev/null | wc -l; }

# A click on the icon: the window opens; the panel has its answer before that.
call activate $item
wait_for_window
# Once more, and "Show", while it is open: still the one window.
call activate $item
call click $item Show
sleep 0.3
[ "$(windows)" -eq 1 ] || fail "$(windows) main windows after the second activation and \"Show\""

# The panel restarts (its shell crashed, or the user restarted it): the item comes back to it.
stop_watcher
start_watcher
wait_for_item
[ "$(windows)" -eq 1 ] || fail "the window did not survive the panel's restart"

# "Exit" from the item's menu with the window open: the window saves, then the program ends.
call click $item Exit
wait_for_end "Exit from the item's menu"
data="$root/data/Korvane Quillgate"
for file in urls.db logins.db config.ini; do
  [ -e "$data/$file" ] || fail "$file was not saved"
done
grep -q '^Top=' "$data/config.ini" || fail "config.ini holds no window position: $(cat "$data/config.ini")"
[ ! -s "$root/stderr" ] || fail "the program wrote to the error stream"
echo "PASS"
