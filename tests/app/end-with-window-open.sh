#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the real tray program on a private Xvfb display with a tray host, opens its window with a
# double-click on the tray icon, ends the program from outside and checks that the window saved
# its lists and position:
#   end-with-window-open.sh QUILLGATE term|display-lost|menu-exit|box-menu-exit|tray-restart [BUTTON]
# menu-exit chooses "Exit" from the tray icon's menu while the window is open; box-menu-exit does
# so while the window shows a warning box ("Generate" with empty boxes); tray-restart ends the tray
# host and starts a new one before the double-click (the icon must come back), then SIGTERM.
# BUTTON is the mouse button of the double-click: 1 (the default) left, 2 middle, 3 right.
# KV_FORM_LAYOUT is the tool that prints the window's form table.
set -eu
program=$1
how=$2
button=${3:-1}

. "$(dirname "$0")/x-session.sh"
make_scratch kvshell
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

start_display
start_tray

start_program

wait_for_icon
if [ "$how" = tray-restart ]; then
  stop_tray
  start_tray
  wait_for_icon
fi
open_by_double_click "$button"
data="$root/data/Korvane Quillgate"
# The first opening records in config.ini how site lines hold URLs; the position comes at closing.
grep -qs '^Top=' "$data/config.ini" && fail "the window saved before it closed"

warning_shown() { xdotool search --onlyvisible --name '^Error$' >/dev/null 2>&1; }

case $how in
box-menu-exit | menu-exit)
  if [ "$how" = box-menu-exit ]; then
    # "Generate" with every box empty: the warning box, which stays open.
    left=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left X: *//p')
    top=$(xwininfo -id "$window" | sed -n 's/.*Absolute upper-left Y: *//p')
    set -- $(control_centre bbGenerate)
    xdotool mousemove $((left + $1)) $((top + $2)) click 1
    wait_until 20 "the warning box" warning_shown
  fi
  # The menu must work while the window is open: "Exit" is its second item.
  choose_from_tray_menu 2
  wait_for_end "$how"
  ;;
term | tray-restart)
  kill -TERM "$app"
  wait_for_end "$how"
  ;;
display-lost)
  kill "$xvfb"
  xvfb=
  wait_until 10 "the program to end with its display" program_gone
  wait "$app" || true
  app=
  ;;
esac

for file in urls.db logins.db config.ini; do
  [ -e "$data/$file" ] || fail "$file was not saved"
done
grep -q . "$data/config.ini" || fail "config.ini is empty"
echo "saved: $(ls "$data" | tr '\n' ' ')"
