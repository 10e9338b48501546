#!/bin/sh
# The real tray program end to end on a private Xvfb with a tray host, run inside with-keyring.sh
# (a private session bus and unlocked keyring, private HOME and XDG folders):
#   generate-and-copy.sh QUILLGATE QUILLGATE_CLI SCREENSHOT.png
# Opens the window with a double-click on the tray icon, types a master password, a URL and a
# login, presses Generate and Copy and compares the clipboard with "quillgate-cli derive"; empties
# the URL, clicks the new site's button (which must bring the URL back and offer its login), then
# chooses "Exit" from the tray menu with the window open. Between, the password must leave its box
# only marked as a secret: not through the primary selection, and Ctrl+C with the mark. The lists and config.ini must be on disk,
# each written exactly once (counted from the program's system calls).
set -eu
program=$1
cli=$2
shot=$3
master='correct horse 7'
url='https://www.example.org/login'
login='alice'

[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "FAIL: run inside with-keyring.sh" >&2; exit 1; }
. "$(dirname "$0")/x-session.sh"
make_scratch kve2e
fail() {
  echo "FAIL: $*" >&2
  [ -s "$root/stderr" ] && sed 's/^/  program: /' "$root/stderr" >&2
  exit 1
}

start_display
start_tray

# strace counts the writes of the closing sequence; the program's own files are private.
QT_QPA_PLATFORM=xcb strace -f -qq -o "$root/trace" -e trace=openat,rename,renameat,renameat2 \
  "$program" 2>"$root/stderr" &
app=$!

wait_for_icon
xdotool click --repeat 2 --delay 80 1
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Korvane Quillgate v1\.5$' |
  head -n 1)
[ -n "$window" ] || fail "the window did not open"
xdotool windowfocus --sync "$window"
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$window")"
wx=$X
wy=$Y
# Clicks at a point given inside the window.
click_at() {
  xdotool mousemove $((wx + $1)) $((wy + $2)) click 1
  sleep 0.2
}
clipboard() { timeout 5 xclip -selection clipboard -o 2>/dev/null || true; }
expect_clipboard() {
  want=$(printf '%s\n' "$master" | "$cli" derive "$url" "$1")
  [ -n "$want" ] || fail "quillgate-cli derived nothing"
  got=$(clipboard)
  [ "$got" = "$want" ] || fail "$2: the clipboard holds '$got', quillgate-cli derives '$want'"
}

# The master password box has the focus; the URL box is six stops further, the login two more
# (past the site buttons).
xdotool type --delay 20 "$master"
xdotool key Tab Tab Tab Tab Tab Tab
xdotool type --delay 20 "$url"
xdotool key Tab Tab
xdotool type --delay 20 "$login"
click_at $((102 + 42)) $((340 + 12)) # Generate
click_at $((311 + 25)) $((299 + 13)) # Copy
expect_clipboard "$login" "Generate and Copy"

# Every way the password leaves its box carries the secret mark, or does not happen: a selection
# made in the box, with the mouse or the keyboard, never becomes the primary selection (which has
# no mark), and Ctrl+C copies it marked.
marked() {
  timeout 5 xclip -selection clipboard -t TARGETS -o 2>/dev/null |
    grep -qx x-kde-passwordManagerHint
}
primary() { timeout 5 xclip -selection primary -o 2>/dev/null || true; }
marked || fail "Copy put the password out without the secret mark"
xdotool mousemove $((wx + 8 + 3)) $((wy + 299 + 13)) mousedown 1 \
  mousemove $((wx + 8 + 150)) $((wy + 299 + 13)) mousemove $((wx + 8 + 296)) $((wy + 299 + 13)) \
  mouseup 1
sleep 0.3
[ -z "$(primary)" ] || fail "a mouse selection in the password box is the primary selection: '$(primary)'"
xdotool key ctrl+a
sleep 0.3
[ -z "$(primary)" ] || fail "Ctrl+A in the password box made the primary selection: '$(primary)'"
# Tab into the box selects its whole text: that stays inside too.
click_at $((8 + 160)) $((36 + 10))
xdotool key Tab Tab
sleep 0.3
[ -z "$(primary)" ] || fail "tabbing into the password box made the primary selection: '$(primary)'"
printf 'something else' | xclip -selection clipboard
xdotool key ctrl+c
sleep 0.3
expect_clipboard "$login" "Ctrl+C in the password box"
marked || fail "Ctrl+C put the password out without the secret mark"

# Empty the URL box (which empties the login box too), then the new site's button, the second
# after the one a new list starts with:
# the URL comes back, the login box is empty and offers the site's login.
click_at $((8 + 160)) $((187 + 10))
xdotool key ctrl+a BackSpace
click_at $((8 + 110 + 55)) $((109 + 12))
click_at $((102 + 42)) $((340 + 12))
click_at $((311 + 25)) $((299 + 13))
expect_clipboard "" "the site's button"
click_at $((8 + 160)) $((240 + 10))
xdotool type --delay 20 "AL"
click_at $((102 + 42)) $((340 + 12))
click_at $((311 + 25)) $((299 + 13))
expect_clipboard "$login" "the site's login completed"
import -window "$window" "$shot" || fail "no screenshot"

data="$XDG_DATA_HOME/Korvane Quillgate"
# The first opening records in config.ini how site lines hold URLs; the position comes at closing.
grep -qs '^Top=' "$data/config.ini" && fail "the window saved before it closed"

# "Exit" is the tray menu's second item; the window is still open.
eval "$(xdotool getwindowgeometry --shell "$panel")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 0.5
xdotool key Down Down Return
i=0
while kill -0 "$app" 2>/dev/null; do
  i=$((i + 1)); [ $i -gt 200 ] && fail "the program did not end after Exit"
  sleep 0.05
done
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "exit status $status"

for file in urls.db logins.db config.ini; do
  [ -s "$data/$file" ] || fail "$file was not saved"
done
# Each file is replaced by a rename; the closing sequence runs once: one rename of each list, and
# config.ini's writes (one a value) all before them.
renames() { grep -nF "rename(" "$root/trace" | grep -F ", \"$data/$1\")" | cut -d: -f1; }
[ "$(renames urls.db | wc -l)" -eq 1 ] || fail "urls.db was written $(renames urls.db | wc -l) times"
[ "$(renames logins.db | wc -l)" -eq 1 ] ||
  fail "logins.db was written $(renames logins.db | wc -l) times"
last_config=$(renames config.ini | tail -n 1)
[ -n "$last_config" ] && [ "$last_config" -lt "$(renames urls.db)" ] ||
  fail "config.ini was written after the lists"
# The lists are text files with a byte order mark and CR LF line ends.
text() { sed 's/^\xef\xbb\xbf//' "$data/$1" | tr -d '\r'; }
[ "$(text urls.db | grep -c '^[0-9]*:https://www\.example\.org/login$')" -eq 1 ] ||
  fail "urls.db does not hold the new site once, as typed: $(cat "$data/urls.db")"
site=$(text urls.db | sed -n 's|^\([0-9]*\):https://www\.example\.org/login$|\1|p')
[ "$(text logins.db)" = "$site:$login" ] ||
  fail "logins.db does not hold the site's login: $(cat "$data/logins.db")"
text config.ini | grep -qx "Top=$wy" && text config.ini | grep -qx "Left=$wx" ||
  fail "config.ini does not hold the window's position $wx,$wy: $(cat "$data/config.ini")"
echo "saved: $(ls "$data" | tr '\n' ' ')"
