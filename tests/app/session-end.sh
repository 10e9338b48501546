#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tray program in an X session run by a session manager that speaks XSMP, with a tray host
# on a private Xvfb:
#   session-end.sh QUILLGATE SESSION_MANAGER
# With the window open and a new site generated, the session manager asks its log-off question:
# the program answers that it has saved, the site and the window's position are on disk, and the
# program goes on with its window open. The log-off is called off: the window takes input again and
# a second start is answered by the running program. A second site is generated and nothing is
# written; the session ends (Die, without a question first, as a shutdown without saving sends it):
# the program ends with status 0 and the site list holds both sites.
# KV_FORM_LAYOUT is the tool that prints the window's form table.
set -eu
program=$1
session_manager=$2
master='session master 5'
first_url='https://asked.example/login'
second_url='https://after.example/login'

. "$(dirname "$0")/x-session.sh"
make_scratch kvsession
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"
data="$root/data/Korvane Quillgate"

start_display
start_session_manager
start_tray
start_program
wait_for_session_client
wait_for_icon

generated() { [ -n "$(timeout 5 xclip -selection clipboard -o 2>/dev/null)" ]; }
# Types URL into the URL box, presses Generate and Copy, and waits for a password on the clipboard.
generate_for() {
  printf '' | xclip -selection clipboard
  click_on edURL
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  click_on bbGenerate
  click_on sbCopy
  wait_until 5 "a password for $1" generated
}
holds() { grep -qF "$2" "$data/$1" 2>/dev/null; }

open_by_double_click
xdotool windowfocus --sync "$window"
window_origin
xdotool type --delay 20 "$master"
generate_for "$first_url"
! holds urls.db "$first_url" || fail "the site was written before the session's question"
! grep -qs '^Top=' "$data/config.ini" || fail "the position was written before the question"

# The question of a log-off: the answer comes once the window has saved.
tell_session ask
wait_until 10 "the program's answer to the question" session_said_times 'save-yourself-done 1' 2
holds urls.db "$first_url" || fail "the question did not save the site list"
grep -qs '^Top=' "$data/config.ini" || fail "the question did not save the window's position"
kill -0 "$app" 2>/dev/null || fail "the program ended at the question"
main_window_shown || fail "the window closed at the question"

# Called off: the session goes on, and so does the program.
tell_session cancel
status=0
env -u DBUS_SESSION_BUS_ADDRESS -u SESSION_MANAGER QT_QPA_PLATFORM=xcb HOME="$root/home" \
  XDG_RUNTIME_DIR="$root/run" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
  timeout 10 "$program" 2>>"$root/stderr-again" || status=$?
[ "$status" -eq 0 ] || fail "a second start after the log-off was called off ended with status $status"
kill -0 "$app" 2>/dev/null || fail "the program ended after the log-off was called off"
[ "$(xdotool search --onlyvisible --name '^Korvane Quillgate v1\.5$' | wc -l)" -eq 1 ] ||
  fail "not one window after the second start"

xdotool windowfocus --sync "$window"
generate_for "$second_url"
! holds urls.db "$second_url" || fail "the second site was written while the window was open"

# The session ends.
tell_session die
wait_for_end "the session's end"
holds urls.db "$first_url" || fail "the first site is gone from the list"
holds urls.db "$second_url" || fail "the session's end did not save the second site"
wait_until 5 "the program to leave the session" session_said_times closed 1
echo "the session manager saw: $(grep -v '^SESSION_MANAGER=' "$root/session.log" | tr '\n' ' ')"
