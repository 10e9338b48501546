#!/bin/sh
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
  [ -s "$root/stderr" ] && sed 's/^/  program: /' "$root/stderr" >&2
  exit 1
}
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"
cover=
trap '[ -n "$cover" ] && kill "$cover" 2>/dev/null; cleanup' EXIT

start_display
start_window_manager
start_tray

env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb HOME="$root/home" XDG_RUNTIME_DIR="$root/run" \
  XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" "$program" 2>"$root/stderr" &
app=$!

wait_for_icon
eval "$(xdotool getwindowgeometry --shell "$panel")"
icon_x=$((X + WIDTH / 2))
icon_y=$((Y + HEIGHT / 2))
xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Korvane Quillgate v1\.5$' |
  head -n 1)
[ -n "$window" ] || fail "the window did not open"

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

# Waits until the window is back: shown, topmost and active.
expect_in_front() {
  i=0
  until ! hidden && active && [ "$(depth)" = 1 ]; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then
      fail "$1: the window is not in front (state: $(xprop -id "$window" _NET_WM_STATE)," \
        "active: $(xdotool getactivewindow 2>/dev/null || echo none), depth: $(depth))"
    fi
    sleep 0.05
  done
}

menu_show() {
  xdotool mousemove "$icon_x" "$icon_y" click 3
  sleep 0.5
  xdotool key Down Return
}
double_click() {
  xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
}

minimize() {
  xdotool windowminimize --sync "$window"
  hidden || fail "openbox did not minimize the window"
  ! active || fail "the minimized window still has the focus"
}

# Another program's window over ours, with the focus.
cover() {
  if [ -n "$cover" ]; then kill "$cover"; wait "$cover" 2>/dev/null || true; fi
  xmessage -geometry 700x600+20+40 "covering" 2>/dev/null &
  cover=$!
  other=$(timeout 20 xdotool search --sync --onlyvisible --classname "^xmessage$" | head -n 1)
  [ -n "$other" ] || fail "the covering window did not open"
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
[ -n "$cover" ] && kill "$cover" 2>/dev/null
cover=

# One window all along.
[ "$(xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' | wc -l)" -eq 1 ] ||
  fail "more than one window"
kill -TERM "$app"
i=0
while kill -0 "$app" 2>/dev/null; do
  i=$((i + 1)); [ $i -gt 200 ] && fail "the program did not end"
  sleep 0.05
done
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "brought to the front after: minimize and cover, each by Show and by a double-click"
