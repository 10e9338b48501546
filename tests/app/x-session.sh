# Sourced by the tray program's scripts: a scratch folder, a private Xvfb display and a tray host.
# The caller defines fail() and sets $app to the program it starts; everything here is ended and
# removed when the script exits, however it exits.

# Makes $root, a scratch folder named after the given prefix, and arms the clean-up.
make_scratch() {
  root=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  xvfb=
  tray=
  wm=
  app=
  trap cleanup EXIT
}

cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$tray" ] && kill "$tray" 2>/dev/null || true
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$root"
}

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
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    i=0
    while kill -0 "$xvfb" 2>/dev/null && ! xdpyinfo -display ":$n" >/dev/null 2>&1; do
      i=$((i + 1)); [ $i -gt 100 ] && break
      sleep 0.05
    done
    # The server that answers must be ours: its lock names its process.
    owner=$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null || true)
    [ "$owner" = "$xvfb" ] && xdpyinfo -display ":$n" >/dev/null 2>&1 && break
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
  i=0
  until [ -e "$root/wm-ready" ]; do
    i=$((i + 1)); [ $i -gt 200 ] && fail "openbox did not start"
    sleep 0.05
  done
}

start_tray() {
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    >/dev/null 2>&1 &
  tray=$!
  panel=$(timeout 20 xdotool search --sync --name '^panel$' | head -n 1)
  [ -n "$panel" ] || fail "the tray host did not start"
}

# The panel grows to the icon's width once the icon is embedded; the pointer then rests on it.
wait_for_icon() {
  i=0
  while :; do
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    [ "$WIDTH" -ge 16 ] && [ "$WIDTH" -le 64 ] && break
    i=$((i + 1)); [ $i -gt 200 ] && fail "the tray icon was not embedded (panel $WIDTH wide)"
    sleep 0.05
  done
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
  sleep 0.3
}
