# Sourced by the tray program's scripts: a scratch folder, a private Xvfb display and a tray host.
# The caller defines fail() and sets $app to the program it starts; everything here is ended and
# removed when the script exits, however it exits.

# Makes $root, a scratch folder named after the given prefix, and arms the clean-up.
make_scratch() {
  root=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  xvfb=
  tray=
  app=
  trap cleanup EXIT
}

cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$tray" ] && kill "$tray" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$root"
}

start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
  xvfb=$!
  i=0
  until [ -s "$root/display" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start"
    sleep 0.05
  done
  DISPLAY=:$(cat "$root/display")
  export DISPLAY
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
