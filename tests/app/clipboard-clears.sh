#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The clipboard on a real X server (private Xvfb, tray host, and a clipboard manager that records
# what a program asks it to keep at its end):
#   clipboard-clears.sh QUILLGATE QUILLGATE_CLI CLIPBOARD_MANAGER exit|term
# With "[Clipboard] ClearAfter=2" in config.ini ("exit" only): a copied password leaves the
# clipboard about two seconds later; the same text copied meanwhile by the user (with xclip) stays;
# closing the window right after the copy still clears it after the delay. Then, started again with
# "ClearAfter=0": the password stays, and leaves when the program ends by "Exit" from the tray menu
# or by SIGTERM, without being handed to the clipboard manager. Neither run writes the master
# password or the site password to its standard error.
# KV_FORM_LAYOUT is the tool that prints the window's form table.
set -eu
program=$1
cli=$2
manager=$3
how=$4
master='clip master 3'
url='https://clip.example/login'

. "$(dirname "$0")/x-session.sh"
make_scratch kvclip
mkdir -p "$root/run" "$root/home" "$root/config"
chmod 700 "$root/run"
data="$root/data/Korvane Quillgate"
mkdir -p "$data"
password=$(printf '%s\n' "$master" | "$cli" derive "$url")
[ -n "$password" ] || fail "quillgate-cli derived nothing"

start_display
"$manager" "$root/saved" >"$root/manager.out" 2>&1 &
others=$!
wait_until 5 "the clipboard manager" grep -qx ready "$root/manager.out"
start_tray

now_ms() { echo $(($(date +%s%N) / 1000000)); }
clipboard_empty() { [ -z "$(clipboard)" ]; }
# The clipboard is served by someone else: the program's copy carries the secret mark.
unmarked() {
  clipboard_is "$password" &&
    ! timeout 5 xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx x-kde-passwordManagerHint
}
window_gone() { ! main_window_shown; }
# Opens the window, types the master password and the URL and presses Generate.
open_and_generate() {
  open_by_double_click
  xdotool windowfocus --sync "$window"
  window_origin
  # The master password box has the focus; the URL box is six stops further.
  xdotool type --delay 20 "$master"
  xdotool key Tab Tab Tab Tab Tab Tab
  xdotool type --delay 20 "$url"
  click_on bbGenerate
}
# Presses Copy and waits for the password on the clipboard; $copied is when it was seen there.
copy() {
  click_on sbCopy
  wait_until 5 "Copy to put the password on the clipboard" clipboard_is "$password"
  copied=$(now_ms)
}
# Nothing secret went to the program's standard error, which a desktop session writes to its log.
nothing_secret_logged() {
  for secret in "$master" "$password"; do
    grep -qF "$secret" "$root/stderr" && fail "the program wrote a secret to standard error"
  done
  return 0
}
# Starts the program with the given delay in config.ini.
start_with_delay() {
  printf '[Clipboard]\r\nClearAfter=%s\r\n' "$1" >"$data/config.ini"
  start_program
  wait_for_icon
}

if [ "$how" = exit ]; then
  start_with_delay 2
  open_and_generate

  copy
  wait_until 8 "the password to leave the clipboard" clipboard_empty
  waited=$(($(now_ms) - copied))
  [ "$waited" -ge 700 ] || fail "the clipboard was cleared $waited ms after the copy"
  echo "cleared $waited ms after the copy was seen"

  # The user copies the very same text from another program: that copy is the user's, and stays.
  copy
  printf '%s' "$password" | xclip -selection clipboard
  wait_until 5 "xclip to own the clipboard" unmarked
  sleep 3
  clipboard_is "$password" || fail "the user's own copy was wiped: '$(clipboard)'"
  unmarked || fail "the program's copy is back on the clipboard"

  copy
  click_on bbClose
  wait_until 5 "the window to close" window_gone
  kill -0 "$app" 2>/dev/null || fail "closing the window ended the program"
  wait_until 8 "the password to leave the clipboard after the window closed" clipboard_empty
  waited=$(($(now_ms) - copied))
  [ "$waited" -ge 700 ] || fail "the clipboard was cleared $waited ms after the copy"

  choose_from_tray_menu 2
  wait_for_end "Exit"
  nothing_secret_logged
fi

# No timed clearing: the password stays until the program ends.
start_with_delay 0
open_and_generate
copy
sleep 3
clipboard_is "$password" || fail "ClearAfter=0 cleared the clipboard: '$(clipboard)'"
case $how in
exit) choose_from_tray_menu 2 ;;
term) kill -TERM "$app" ;;
esac
wait_for_end "$how"
nothing_secret_logged
clipboard_empty || fail "the password outlived the program: '$(clipboard)'"
if grep -qF "$password" "$root/saved" 2>/dev/null; then
  fail "the program handed the password to the clipboard manager at its end"
fi
echo "the clipboard manager was asked to keep: $(cat "$root/saved" 2>/dev/null || echo nothing)"
