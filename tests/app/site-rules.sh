#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Site rules and password versions in the real program, on a private Xvfb with a tray host:
#   site-rules.sh QUILLGATE QUILLGATE_CLI
# KV_FORM_LAYOUT is the tool that prints the window's form table, where the clicks take their
# coordinates.
# Generates the password of a site whose known rules it breaks, takes the offer beside it (one
# click), then a new password from the "Site rules…" dialog (keyboard only); each password copied
# must be the one quillgate-cli derives with those rules and that version. After "Exit" and a new
# start, Generate gives the last password again, and so does quillgate-cli from the data folder.
set -eu
program=$1
cli=$2
master='correct horse battery staple'
url='https://secure.chase.com'
login='alice@example.org'

. "$(dirname "$0")/x-session.sh"
make_scratch kvrules
mkdir -p "$root/home" "$root/run"
chmod 700 "$root/run"
data="$root/data/Korvane Quillgate"

# quillgate-cli on the program's data folder, with the given options.
derive() {
  printf '%s\n' "$master" |
    HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
      "$cli" derive "$@" "$url" "$login"
}
plain=$(derive --no-rules)
known=$(derive --known-rules)
second=$(derive --known-rules --counter 2)
# The known answer: the site's known rules for this master password and login.
[ "$known" = '/XuTIsK1+VIqZ7ZH' ] || fail "quillgate-cli derived '$known' with the known rules"
[ "$plain" != "$known" ] && [ "$second" != "$known" ] || fail "the versions gave no new passwords"

start_display
start_tray

# Opens the window from the tray and types the master password, the URL and the login: the URL box
# is six stops after the master password box, the login two more (past the site buttons).
open_and_type() {
  start_program
  wait_for_icon
  open_by_double_click
  xdotool windowfocus --sync "$window"
  window_origin
  xdotool type --delay 20 "$master"
  xdotool key Tab Tab Tab Tab Tab Tab
  xdotool type --delay 20 "$url"
  xdotool key Tab Tab
  xdotool type --delay 20 "$login"
}
# Copies the password box's text and waits until the clipboard holds WANT.
expect_password() {
  printf 'before copy' | xclip -selection clipboard
  click_on sbCopy
  wait_until 5 "$2: the password copied to be $1 (it is '$(clipboard)')" clipboard_is "$1"
}
# The password box's actions sit inside its right end: "Site rules…" last, the offer beside it.
box_width=$(control_field edPassword width)
box_middle=$(($(control_field edPassword height) / 2))
click_site_rules() { click_on edPassword $((box_width - 15)) "$box_middle"; }
click_offer() { click_on edPassword $((box_width - 41)) "$box_middle"; }

open_and_type
click_on bbGenerate
expect_password "$plain" "Generate"
click_offer
expect_password "$known" "the offer of the known rules"

# The dialog, by keyboard: Alt+V reaches the version, Tab "New password", Space presses it, Enter
# is OK.
rules_dialog_shown() {
  dialog=$(xdotool search --onlyvisible --name '^Site rules for secure\.chase\.com$' 2>/dev/null |
    head -n 1) && [ -n "$dialog" ]
}
rules_dialog_gone() { ! rules_dialog_shown; }
click_site_rules
wait_until 10 "the site rules dialog" rules_dialog_shown
xdotool windowfocus --sync "$dialog"
xdotool key alt+v Tab space Return
wait_until 10 "the site rules dialog to close" rules_dialog_gone
expect_password "$second" "New password in the site rules dialog"

click_on bbClose
choose_from_tray_menu 2
wait_for_end "Exit"
grep -q '"from":"chase.com"' "$data/records.db" ||
  fail "records.db does not hold the known rules' origin: $(cat "$data/records.db")"

open_and_type
click_on bbGenerate
expect_password "$second" "Generate after a new start"
[ "$(derive)" = "$second" ] || fail "quillgate-cli derived '$(derive)' from the data folder"
echo "passwords: $plain, $known, $second"
