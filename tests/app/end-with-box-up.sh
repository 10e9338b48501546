#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program ended while an error box of its window's opening is still up, on a private
# Xvfb with a tray host, a clipboard manager and a session manager that speaks XSMP:
#   end-with-box-up.sh QUILLGATE QUILLGATE_CLI CLIPBOARD_MANAGER SESSION_MANAGER term|log-off
# master.key is damaged, so the window opens with the box that says the saved master password could
# not be read. With the box left open, a site's password is generated and copied; then SIGTERM
# (term) or a log-off (the session manager's question, then its Die) must end the program with
# status 0, with the site list and the window's position saved, master.key kept as it was, and the
# password gone from the clipboard without being handed to the clipboard manager.
# KV_FORM_LAYOUT is the tool that prints the window's form table.
set -eu
program=$1
cli=$2
clipboard_manager=$3
session_manager=$4
how=$5
master='box master 7'
url='https://boxed.example/login'

. "$(dirname "$0")/x-session.sh"
make_scratch kvbox
mkdir -p "$root/run" "$root/home" "$root/config"
chmod 700 "$root/run"
data="$root/data/Korvane Quillgate"
mkdir -p "$data"
# No timed clearing: only the program's end may take the password away.
printf '[Clipboard]\r\nClearAfter=0\r\n' >"$data/config.ini"
printf 'not a sealed key' >"$data/master.key"
password=$(printf '%s\n' "$master" | "$cli" derive "$url")
[ -n "$password" ] || fail "quillgate-cli derived nothing"

start_display
"$clipboard_manager" "$root/saved" >"$root/clipboard-manager.out" 2>&1 &
others=$!
wait_until 5 "the clipboard manager" grep -qx ready "$root/clipboard-manager.out"
start_session_manager
start_tray
start_program
wait_for_session_client
wait_for_icon

# The error box: the program's title as its caption, and its text copied with Ctrl+C.
error_box_shown() {
  box=$(xdotool search --onlyvisible --name '^Korvane Quillgate$' 2>/dev/null | head -n 1) &&
    [ -n "$box" ]
}
open_by_double_click
wait_until 10 "the opening's error box" error_box_shown
xdotool windowfocus --sync "$box" key ctrl+c
said_unreadable() { clipboard | grep -q 'saved master password could not be read'; }
wait_until 5 "the box's text on the clipboard" said_unreadable

xdotool windowfocus --sync "$window"
window_origin
xdotool type --delay 20 "$master"
click_on edURL
xdotool type --delay 20 "$url"
click_on bbGenerate
click_on sbCopy
wait_until 5 "Copy to put the password on the clipboard" clipboard_is "$password"
error_box_shown || fail "the error box went before the program was ended"

case $how in
term) kill -TERM "$app" ;;
log-off)
  tell_session ask
  wait_until 10 "the program's answer to the question" session_said_times 'save-yourself-done 1' 2
  tell_session die
  ;;
esac
wait_for_end "$how with the error box up"

grep -qF "$url" "$data/urls.db" 2>/dev/null || fail "the site list was not saved"
grep -qs '^Top=' "$data/config.ini" || fail "the window's position was not saved"
[ "$(cat "$data/master.key")" = 'not a sealed key' ] || fail "master.key was changed"
[ -z "$(clipboard)" ] || fail "the clipboard still holds: '$(clipboard)'"
if grep -qF "$password" "$root/saved" 2>/dev/null; then
  fail "the program handed the password to the clipboard manager at its end"
fi
grep -qF "$password" "$root/stderr" && fail "the program wrote the password to standard error"
echo "ended by $how with the box up; the clipboard manager was asked to keep: $(cat "$root/saved" 2>/dev/null || echo nothing)"
