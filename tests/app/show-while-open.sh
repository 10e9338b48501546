#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program under a window manager (openbox) with a tray host, on a private Xvfb:
#   show-while-open.sh QUILLGATE
# Opens the window with a double-click on the tray icon, then hides it twice over: minimized (openbox
# offers the button whatever the window asks for) and covered by another program's window. Each
# time "Show" from the tray menu, and then a double-click on the icon, must bring it back:
# not hidden, on top of the stacking order and holding the focus.
set -eu
program=$1

. "$(dirname "$0")/x-session.sh"
make_scratch kvfront
fail() {
  echo "FAIL: $*" >&2
  if [ -n "${window:-}" ]; then
    echo "  window state: $(xprop -id "$window" _NET_WM_STATE), active:" \
      "$(xdotool getactivewindow 2>/dev/null || echo none), depth: $(depth)" >&2
  fi
  [ -s "$root/stderr" ] && sed 's/^/  program: /' "$root/stderr" >&2
  exit 1
}
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

start_display
start_window_manager
start_tray

start_program

wait_for_icon
open_by_double_click

# The window's place among the window manager's clients other than the panel (a dock, kept above
# all), from the top: 1 is the topmost.
depth() {
  xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' | tac |
    while read -r id; do [ $((id)) -ne "$panel" ] && echo $((id)); done |
    grep -n . | while IFS=: read -r n id; do
      [ "$id" -eq "$window" ] && echo "$n"
    done
}
hidden() { xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }

in_front() { ! hidden && active && [ "$(depth)" = 1 ]; }
# Waits until the window is back: shown, topmost and active.
expect_in_front() { wait_until 5 "$1 to bring the window to the front" in_front; }

menu_show() { choose_from_tray_menu 1; }
double_click() {
  xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
}

minimize() {
  xdotool windowminimize --sync "$window"
  hidden || fail "openbox did not minimize the window"
  ! active || fail "the minimized window still has the focus"
}

cover_shown() {
  other=$(xdotool search --onlyvisible --classname '^xmessage$' 2>/dev/null | head -n 1) &&
    [ -n "$other" ]
}
cover=
# Another program's window over ours, with the focus.
cover() {
  if [ -n "$cover" ]; then kill "$cover"; wait "$cover" 2>/dev/null || true; fi
  xmessage -geometry 700x600+20+40 "covering" 2>/dev/null &
  cover=$!
  others=$cover
  wait_until 20 "the covering window" cover_shown
  xdotool windowactivate --sync "$other"
  [ "$(depth)" != 1 ] || fail "the window is not covered"
  ! active || fail "the covered window still has the focus"
}

for hide in minimize cover; do
  for request in menu_show double_click; do
    $hide
    $request
    expect_in_front "$hide, then $request"
  done
done
kill "$cover" 2>/dev/null || true
cover=
others=

# One window all along.
[ "$(xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' | wc -l)" -eq 1 ] ||
  fail "more than one window"
kill -TERM "$app"
wait_for_end SIGTERM
echo "brought to the front after: minimize and cover, each by Show and by a double-click"
