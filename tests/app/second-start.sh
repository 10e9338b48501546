#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program started twice for one data folder, under a window manager with a tray host
# on a private Xvfb:
#   second-start.sh QUILLGATE
# A second start on the same display ends at once with status 0, and the running program opens its
# main window (once more while the window is open: it stays the one window); there is still one
# tray icon. The second start's X11 startup identifier goes on the window it opened, and its
# launch is completed with the startup notification's "remove" message. A start from another
# display says on its error stream where the program runs, opens nothing there and ends with
# status 1.
# After the running program is killed with SIGKILL, its lock is left behind and a new start takes
# it over at once and shows its icon. A program started with XDG_RUNTIME_DIR=/run/user/<uid>, as a
# login session sets it, and a later start without the variable meet at the same lock: the later
# start opens the running program's window and ends.
# The script runs in a mount namespace of its own with a fresh /run (as root, or as root of a user
# namespace of its own), where it makes /run/user/<uid>; the machine's /run is never touched.
set -eu
program=$1

if [ -z "${KV_PRIVATE_RUN:-}" ]; then
  as_root=
  [ "$(id -u)" -eq 0 ] || as_root=--map-root-user
  exec env KV_PRIVATE_RUN=1 unshare --mount --propagation private $as_root "$0" "$@"
fi
mount -t tmpfs -o mode=0755 kvrun /run
session_run=/run/user/$(id -u)
mkdir -p "$session_run"
chmod 700 "$session_run"

. "$(dirname "$0")/x-session.sh"
make_scratch kvonce
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

start_display
start_window_manager
start_tray
start_program
wait_for_icon
panel_width=$WIDTH

# Starts the program once more in the running one's folders, on display $1, and waits for it to
# end; $status is its exit status, $out its standard output, $elapsed_ms how long it ran. Its
# runtime folder is $again_run, and with $again_run empty it has no XDG_RUNTIME_DIR.
again_run=$root/run
start_again() {
  started=$(date +%s%N)
  status=0
  out=$(env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR \
    ${startup_id:+DESKTOP_STARTUP_ID=$startup_id} ${again_run:+XDG_RUNTIME_DIR=$again_run} \
    QT_QPA_PLATFORM=xcb DISPLAY="$1" HOME="$root/home" \
    XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
    timeout 10 "$program" 2>>"$root/stderr-again") || status=$?
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  echo "start on $1: status $status after $elapsed_ms ms${out:+, said: $out}"
}

windows() { xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' 2>/dev/null | wc -l; }
window_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }
one_icon() {
  eval "$(xdotool getwindowgeometry --shell "$panel")"
  [ "$WIDTH" -eq "$panel_width" ]
}

# The same display: the running program opens its window, which takes the focus.
listen_on_root
startup_id=kv-second-start
start_again "$DISPLAY"
startup_id=
[ "$status" -eq 0 ] || fail "the second start ended with status $status"
[ -z "$out" ] || fail "the second start said: $out"
wait_for_window
wait_until 5 "the opened window to take the focus" window_active
one_icon || fail "the panel is $WIDTH wide with the second start, $panel_width before"
kill -0 "$app" 2>/dev/null || fail "the first program ended"
xprop -id "$window" _NET_STARTUP_ID | grep -qx '_NET_STARTUP_ID(UTF8_STRING) = "kv-second-start"' ||
  fail "the window does not carry the second start's identifier: $(xprop -id "$window" _NET_STARTUP_ID)"
wait_for_launch_completed

# Once more with the window open: its own event loop runs, and the request is still answered.
start_again "$DISPLAY"
[ "$status" -eq 0 ] || fail "the start with the window open ended with status $status"
[ "$(windows)" -eq 1 ] || fail "$(windows) main windows after the third start"
one_icon || fail "the panel is $WIDTH wide after the third start, $panel_width before"

# Another display: told where the program runs; nothing opens there.
first_display=$DISPLAY first_xvfb=$xvfb
start_display
others="$others $xvfb"
xvfb=$first_xvfb
second_display=$DISPLAY
DISPLAY=$first_display
[ ! -s "$root/stderr-again" ] || fail "the later starts wrote to the error stream"
start_again "$second_display"
[ "$status" -eq 1 ] || fail "the start on $second_display ended with status $status"
[ -z "$out" ] || fail "the start on $second_display said on its standard output: '$out'"
said=$(cat "$root/stderr-again")
[ "$said" = "Korvane Quillgate is already running on display $first_display." ] ||
  fail "the start on $second_display said: '$said'"
: >"$root/stderr-again"
! DISPLAY=$second_display xdotool search --name 'Korvane Quillgate' >/dev/null 2>&1 ||
  fail "a window opened on $second_display"

# A crash: the lock stays behind with the dead process's id; the next start takes it at once.
kill -9 "$app"
wait "$app" 2>/dev/null || true
app=
ls "$root"/run/quillgate-*.lock >/dev/null 2>&1 || fail "SIGKILL left no lock file to recover"
icon_gone() { ! one_icon; }
wait_until 5 "the killed program's icon to leave the panel" icon_gone
start_program
wait_for_icon
kill -0 "$app" 2>/dev/null || fail "the start after SIGKILL ended"
[ ! -s "$root/stderr" ] || fail "the start after SIGKILL wrote to the error stream"

# The session's runtime folder named in XDG_RUNTIME_DIR, then a start without the variable (from
# a shell that lost it): it finds the same folder and hands over.
kill "$app"
wait "$app" 2>/dev/null || true
app=
wait_until 5 "the ended program's icon to leave the panel" icon_gone
runtime_dir=$session_run
start_program
wait_for_icon
kill -0 "$app" 2>/dev/null || fail "the start with XDG_RUNTIME_DIR=$session_run ended"
ls "$session_run"/quillgate-*.lock >/dev/null 2>&1 || fail "no lock in $session_run"
again_run=
start_again "$DISPLAY"
[ "$status" -eq 0 ] || fail "the start without XDG_RUNTIME_DIR ended with status $status"
[ -z "$out" ] || fail "the start without XDG_RUNTIME_DIR said: $out"
wait_for_window
one_icon || fail "the panel is $WIDTH wide after the start without XDG_RUNTIME_DIR"
[ ! -s "$root/stderr-again" ] || fail "the later starts wrote to the error stream"
[ ! -s "$root/stderr" ] || fail "the start from the session wrote to the error stream"
echo "PASS"
