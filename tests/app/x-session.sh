# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the tray program's scripts: a scratch folder, a private Xvfb display, a window manager,
# a tray host, a session bus with a StatusNotifier panel, and the form's coordinates. The caller
# sets $app to the program it starts (and $others to any further processes of its own), and may
# define a fail() of its own; everything here is ended and removed when the script exits, however it exits: at its
# end, on a failure, or killed by SIGINT, SIGTERM or SIGHUP.

. "${session_dir:-$(dirname "$0")}/wait-until.sh"

# Ends the test as failed, with what the program (every start of it) and the panel wrote.
fail() {
  echo "FAIL: $*" >&2
  for log in "$root"/stderr* "$root/watcher.log" "$root/session.log" "$root/xev.err"; do
    [ -s "$log" ] && sed "s|^|  $(basename "$log"): |" "$log" >&2
  done
  exit 1
}

# Makes $root, a scratch folder named after the given prefix, and arms the clean-up.
make_scratch() {
  root=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  xvfb=
  tray=
  wm=
  bus=
  watcher=
  sm_address=
  app=
  others=
  trap cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

cleanup() {
  trap - EXIT HUP INT TERM
  for pid in $app $others $watcher $tray $wm $bus $xvfb; do
    kill "$pid" 2>/dev/null || true
  done
  # The program saves as it ends: its files go only once it has.
  [ -z "$app" ] || wait "$app" 2>/dev/null || true
  rm -rf "$root"
}

# The form's table, as the tests' tool prints it ($KV_FORM_LAYOUT, set by the test).
form_layout() {
  [ -n "${form_json:-}" ] || form_json=$("${KV_FORM_LAYOUT:?the path of kv_form_layout}")
  printf '%s\n' "$form_json"
}
# "X Y" of the centre of the named control, inside the window's client area.
control_centre() {
  form_layout | jq -r --arg name "$1" \
    '.controls[] | select(.name == $name) | "\(.left + (.width / 2 | floor)) \(.top + (.height / 2 | floor))"'
}
# One field of the named control: left, top, width or height.
control_field() {
  form_layout | jq -r --arg name "$1" --arg field "$2" \
    '.controls[] | select(.name == $name) | .[$field]'
}

# $wx and $wy: the corner of the window's client area ($window) on the screen, for click_on.
window_origin() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  wx=$X
  wy=$Y
}
# Clicks the named control of the window, at its centre or at the given point inside it.
click_on() {
  if [ $# -eq 1 ]; then
    set -- "$1" $(control_centre "$1")
  else
    set -- "$1" $(($(control_field "$1" left) + $2)) $(($(control_field "$1" top) + $3))
  fi
  xdotool mousemove $((wx + $2)) $((wy + $3)) click 1
}
clipboard() { timeout 5 xclip -selection clipboard -o 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" = "$1" ]; }

# Ours answers: the server on :$n holds the display's lock and a client can reach it.
own_display_answers() {
  owner=$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null || true)
  [ "$owner" = "$xvfb" ] && xdpyinfo -display ":$n" >/dev/null 2>&1
}
display_settled() { ! kill -0 "$xvfb" 2>/dev/null || xdpyinfo -display ":$n" >/dev/null 2>&1; }

# A display number of its own: other test runs start and stop servers side by side, so a number
# whose lock is taken is skipped, and the server counts only once it holds the lock and a client
# can reach it.
start_display() {
  n=$(($$ % 500 + 100))
  attempt=0
  while :; do
    attempt=$((attempt + 1)); [ $attempt -gt 30 ] && fail "Xvfb did not start"
    n=$((n + 1))
    [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the server stays as it is when its last client goes (the check below is one),
    # instead of starting over while the next client connects.
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$root/xvfb.log" 2>&1 &
    xvfb=$!
    wait_until 10 "Xvfb on :$n to answer or end" display_settled
    own_display_answers && break
    kill "$xvfb" 2>/dev/null || true
    xvfb=
  done
  DISPLAY=:$n
  export DISPLAY
}

# openbox, for windows with real frames and the window manager's own minimize button.
start_window_manager() {
  mkdir -p "$root/home"
  HOME="$root/home" openbox --startup "touch $root/wm-ready" >/dev/null 2>&1 &
  wm=$!
  wait_until 10 "openbox to start" test -e "$root/wm-ready"
}

panel_window() { panel=$(xdotool search --name '^panel$' 2>/dev/null | head -n 1) && [ -n "$panel" ]; }
no_panel() { ! xdotool search --name '^panel$' >/dev/null 2>&1; }

# The tray host shows its panel, or has ended without one.
tray_settled() { panel_window || ! kill -0 "$tray" 2>/dev/null; }
# Starts the tray host. Now and then trayer ends at its start without a panel: it is started again.
start_tray() {
  for _attempt in 1 2 3; do
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
      >>"$root/trayer.log" 2>&1 &
    tray=$!
    within 15 tray_settled && panel_window && return 0
    kill "$tray" 2>/dev/null || true
    wait "$tray" 2>/dev/null || true
  done
  kill -0 "$xvfb" 2>/dev/null || give_up "Xvfb on :$n ended: $(tail -n 3 "$root/xvfb.log")"
  give_up "no panel from the tray host in three starts: $(tail -n 3 "$root/trayer.log")"
}

# Ends the tray host and waits until its panel is gone.
stop_tray() {
  kill "$tray"
  wait "$tray" 2>/dev/null || true
  tray=
  wait_until 5 "the tray host's panel to go" no_panel
}

# The panel grows to the icon's width once the icon is embedded.
icon_embedded() {
  eval "$(xdotool getwindowgeometry --shell "$panel")"
  [ "$WIDTH" -ge 16 ] && [ "$WIDTH" -le 64 ]
}
# A private session bus ($bus, its address exported). What it starts on demand gets a home of its
# own in the scratch folder and no display, so it can never prompt.
start_session_bus() {
  mkdir -p "$root/bus-home" "$root/run"
  chmod 700 "$root/run"
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME \
    HOME="$root/bus-home" XDG_RUNTIME_DIR="$root/run" \
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$root/bus-address" \
    >/dev/null 2>&1 &
  bus=$!
  wait_until 10 "the session bus" test -s "$root/bus-address"
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$root/bus-address")
  export DBUS_SESSION_BUS_ADDRESS
}

# The panel of a StatusNotifierItem desktop on that bus: the watcher of kv_status_notifier_panel
# ($sni_panel) runs as $watcher and logs the items that come and go to $root/watcher.log.
start_watcher() {
  "$sni_panel" watch >"$root/watcher.log" 2>&1 &
  watcher=$!
  wait_until 10 "the StatusNotifier watcher" grep -qx ready "$root/watcher.log"
}
stop_watcher() {
  kill "$watcher"
  wait "$watcher" 2>/dev/null || true
  watcher=
}
# The item the watcher took last: $item is "SERVICE PATH", as the panel's commands take it.
item_registered() {
  item=$(sed -n 's/^registered //p' "$root/watcher.log" | tail -n 1) && [ -n "$item" ]
}
wait_for_item() { wait_until 10 "the program's StatusNotifier item" item_registered; }

# A session manager for the programs started after it: kv_session_manager ($session_manager), its
# commands written to file descriptor 4, what its clients do in $root/session.log.
start_session_manager() {
  mkfifo "$root/session-commands"
  # Read and write: the opening waits for no reader, and the manager's input never ends early.
  exec 4<>"$root/session-commands"
  "$session_manager" <&4 >"$root/session.log" 2>&1 &
  others="$others $!"
  wait_until 10 "the session manager" grep -q '^SESSION_MANAGER=' "$root/session.log"
  sm_address=$(sed -n 's/^SESSION_MANAGER=//p' "$root/session.log")
}
# How many lines of the session manager's log read exactly LINE; whether there are at least N.
session_said() { grep -cx "$1" "$root/session.log" || true; }
session_said_times() { [ "$(session_said "$1")" -ge "$2" ]; }
# Has the session manager send COMMAND (ask, cancel, die) to its clients, and waits until it has.
tell_session() {
  _sent=$(session_said "sent $1")
  echo "$1" >&4
  wait_until 5 "the session manager to send $1" session_said_times "sent $1" $((_sent + 1))
}
# The program joined the session and answered the manager's first request to save.
wait_for_session_client() {
  wait_until 10 "the program to join the session" session_said_times registered 1
  wait_until 10 "the program's first save for the session" session_said_times 'save-yourself-done 1' 1
}

# Starts the program under test in the private folders; $app is its process id. It gets the
# script's session bus when the script started one, else none (the saved password's key would go
# to a file; nothing here needs it), and likewise the script's session manager. It runs on X11
# unless $qpa_platform names Qt's platform, with $root/run as its runtime folder unless $runtime_dir
# names another.
start_program() {
  no_bus="-u DBUS_SESSION_BUS_ADDRESS"
  [ -z "$bus" ] || no_bus=
  env $no_bus -u SESSION_MANAGER ${sm_address:+SESSION_MANAGER=$sm_address} \
    QT_QPA_PLATFORM="${qpa_platform:-xcb}" HOME="$root/home" \
    XDG_RUNTIME_DIR="${runtime_dir:-$root/run}" \
    XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" "$program" 2>"$root/stderr" &
  app=$!
}

# Waits for the tray icon and rests the pointer on it; $icon_x and $icon_y are its centre.
wait_for_icon() {
  wait_until 10 "the tray icon to be embedded" icon_embedded
  icon_x=$((X + WIDTH / 2))
  icon_y=$((Y + HEIGHT / 2))
  xdotool mousemove "$icon_x" "$icon_y"
}

# The main window, by its own caption with nothing appended by Qt; $window is its id.
main_window_shown() {
  window=$(xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' 2>/dev/null |
    head -n 1) && [ -n "$window" ]
}
wait_for_window() { wait_until 20 "the main window to open" main_window_shown; }

# Opens the main window with a double-click of BUTTON (1 by default) on the tray icon. The icon is
# embedded a moment before the program takes clicks on it, and a double-click that comes too soon
# counts as a single click, which opens nothing: then the double-click is tried again.
# The panel may still settle after the icon is in it, so each try rests the pointer on the icon
# where it is now.
# Records the messages sent to the root window in $root/root-events, from once it returns.
listen_on_root() {
  start_root_listener
  wait_until 20 "xev to listen on the root window" root_listener_ready
}
start_root_listener() {
  xev -root -event property >"$root/root-events" 2>>"$root/xev.err" &
  root_listener=$!
  others="$others $root_listener"
}
root_listener_ready() {
  # A listener that could not stay connected (a server busy with other tests' clients) is started
  # again rather than waited for in vain.
  kill -0 "$root_listener" 2>/dev/null || start_root_listener
  xprop -root -f KV_PROBE 8s -set KV_PROBE ready
  grep -q '(KV_PROBE)' "$root/root-events"
}
# The launch's end: the startup notification's "remove" message reached the root window.
launch_completed() { grep -q '(_NET_STARTUP_INFO_BEGIN)' "$root/root-events"; }
wait_for_launch_completed() {
  wait_until 20 "the startup notification's remove message" launch_completed
}

# Runs COMMAND on the display (as the program under test) and ends the script with its status. In
# the background, so that a signal reaches the trap at once rather than after the command.
run_on_display() {
  QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$root/run" "$@" &
  app=$!
  status=0
  wait "$app" || status=$?
  app=
  exit "$status"
}

open_by_double_click() {
  for _attempt in 1 2; do
    xdotool click --repeat 2 --delay 80 "${1:-1}"
    within 5 main_window_shown && return 0
    wait_for_icon
  done
  xdotool click --repeat 2 --delay 80 "${1:-1}"
  wait_for_window
}

# A pop-up menu of the program is mapped: a top-level window of its own that bypasses the window
# manager and is no tooltip. The caller may name the program's window class in $program_class.
menu_shown() {
  for id in $(xdotool search --onlyvisible --maxdepth 1 --classname "^${program_class:-quillgate}\$" \
    2>/dev/null); do
    if xwininfo -id "$id" | grep -q 'Override Redirect State: yes' &&
      ! xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP; then
      return 0
    fi
  done
  return 1
}
# Opens the tray icon's menu and chooses its item ITEM (1 "Show", 2 "Exit") with the keyboard. On a
# loaded machine a click now and then opens no menu; the click is tried again.
choose_from_tray_menu() {
  for _attempt in 1 2; do
    xdotool mousemove "$icon_x" "$icon_y" click 3
    within 5 menu_shown && break
  done
  menu_shown || xdotool mousemove "$icon_x" "$icon_y" click 3
  wait_until 10 "the tray icon's menu" menu_shown
  keys=
  i=0
  while [ $i -lt "$1" ]; do keys="$keys Down"; i=$((i + 1)); done
  xdotool key $keys Return
}

# Waits until the program has ended, then checks that it ended well.
program_gone() { ! kill -0 "$app" 2>/dev/null; }
wait_for_end() {
  wait_until 10 "the program to end ($1)" program_gone
  status=0
  wait "$app" || status=$?
  app=
  [ "$status" -eq 0 ] || fail "exit status $status"
}
