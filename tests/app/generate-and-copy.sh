#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program end to end on a private Xvfb with a tray host, run inside with-keyring.sh
# (a private session bus and unlocked keyring, private HOME and XDG folders):
#   generate-and-copy.sh QUILLGATE QUILLGATE_CLI SCREENSHOT.png
# KV_FORM_LAYOUT is the tool that prints the window's form table, where the clicks take their
# coordinates.
# Opens the window with a double-click on the tray icon, types a master password, a URL and a
# login, presses Generate and Copy and compares the clipboard with "quillgate-cli derive"; empties
# the URL, clicks the new site's button (which must bring the URL back and offer its login), then
# chooses "Exit" from the tray menu with the window open. Between, the password must leave its box
# only marked as a secret: not through the primary selection, and Ctrl+C with the mark. The lists
# and config.ini must be on disk, each written exactly once (counted from the program's system
# calls).
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

start_display
start_tray

# strace counts the writes of the closing sequence; the program's own files are private. strace
# keeps fatal signals from itself, so the clean-up ends the program by its own id.
QT_QPA_PLATFORM=xcb strace -f -qq -o "$root/trace" -e trace=openat,rename,renameat,renameat2 \
  sh -c 'echo $$ >"$0"; exec "$@"' "$root/program.pid" "$program" 2>"$root/stderr" &
app=$!
wait_until 10 "the program to start" test -s "$root/program.pid"
others=$(cat "$root/program.pid")

wait_for_icon
open_by_double_click
xdotool windowfocus --sync "$window"
window_origin
# Waits for the clipboard to hold the password that quillgate-cli derives for the login.
expect_clipboard() {
  want=$(printf '%s\n' "$master" | "$cli" derive "$url" "$1")
  [ -n "$want" ] || fail "quillgate-cli derived nothing"
  wait_until 5 "$2 to put the derived password on the clipboard" clipboard_is "$want"
}
# A round trip through the program: every event sent before has been handled once the "Copy"
# button has put the password back on the emptied clipboard.
settle() {
  printf 'settling' | xclip -selection clipboard
  click_on sbCopy
  wait_until 5 "the program to handle the events sent" clipboard_is "$(printf '%s\n' "$master" |
    "$cli" derive "$url" "$1")"
}

# The master password box has the focus; the URL box is six stops further, the login two more
# (past the site buttons).
xdotool type --delay 20 "$master"
xdotool key Tab Tab Tab Tab Tab Tab
xdotool type --delay 20 "$url"
xdotool key Tab Tab
xdotool type --delay 20 "$login"
click_on bbGenerate
click_on sbCopy
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
set -- $(control_field edPassword left) $(control_field edPassword top) \
  $(control_field edPassword width) $(control_field edPassword height)
xdotool mousemove $((wx + $1 + 3)) $((wy + $2 + $4 / 2)) mousedown 1 \
  mousemove $((wx + $1 + $3 / 2)) $((wy + $2 + $4 / 2)) \
  mousemove $((wx + $1 + $3 - 4)) $((wy + $2 + $4 / 2)) mouseup 1
settle "$login"
[ -z "$(primary)" ] || fail "a mouse selection in the password box is the primary selection: '$(primary)'"
xdotool key ctrl+a
settle "$login"
[ -z "$(primary)" ] || fail "Ctrl+A in the password box made the primary selection: '$(primary)'"
# Tab into the box selects its whole text: that stays inside too.
click_on edMasterPass
xdotool key Tab Tab
settle "$login"
[ -z "$(primary)" ] || fail "tabbing into the password box made the primary selection: '$(primary)'"
printf 'something else' | xclip -selection clipboard
wait_until 5 "xclip to own the clipboard" clipboard_is 'something else'
xdotool key ctrl+c
expect_clipboard "$login" "Ctrl+C in the password box"
marked || fail "Ctrl+C put the password out without the secret mark"

# Empty the URL box (which empties the login box too), then the new site's button, the second
# after the one a new list starts with: the URL comes back with the login last used with it.
# Emptied, the login box completes the site's login.
click_on edURL
xdotool key ctrl+a BackSpace
button_width=$(form_layout | jq '.siteButton.width')
button_height=$(form_layout | jq '.siteButton.height')
click_on bgThumbs $((button_width + button_width / 2)) $((button_height / 2))
click_on bbGenerate
click_on sbCopy
expect_clipboard "$login" "the site's button with its last login"
click_on edLogin
xdotool key ctrl+a BackSpace
xdotool type --delay 20 "AL"
click_on bbGenerate
click_on sbCopy
expect_clipboard "$login" "the site's login completed"
import -window "$window" "$shot" || fail "no screenshot"

data="$XDG_DATA_HOME/Korvane Quillgate"
# The first opening records in config.ini how site lines hold URLs; the position comes at closing.
grep -qs '^Top=' "$data/config.ini" && fail "the window saved before it closed"

# "Exit" is the tray menu's second item; the window is still open.
choose_from_tray_menu 2
wait_until 10 "the program to end after Exit" program_gone
status=0
wait "$app" || status=$?
app=
others=
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
