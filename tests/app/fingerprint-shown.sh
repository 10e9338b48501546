#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The master password's fingerprint in the real program on a private Xvfb with a tray host:
#   fingerprint-shown.sh QUILLGATE QUILLGATE_CLI SCREENSHOT.png
# Types the master password into the window: while it is typed, the right end of the box shows no
# symbol; once the focus leaves the box the three symbols that "quillgate-cli fingerprint" names
# appear there (the window's screenshot is left at SCREENSHOT.png); the next keystroke in the box
# takes them away again. Then "Save password" is ticked and every save made to fail: the error box
# comes once, at the first keystroke, and neither it taking the focus nor the typing after it shows
# any symbol.
set -eu
program=$1
cli=$2
shot=$3
master='correct horse battery staple'

. "$(dirname "$0")/x-session.sh"
make_scratch kvfp
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

# The command line names the symbols the window must show: the first is the brown key.
names=$(printf '%s\n' "$master" | "$cli" fingerprint | head -n 1)
[ "$names" = "7 2 15  brown key, black cross, white bolt" ] || fail "quillgate-cli printed '$names'"

start_display
start_tray
start_program
wait_for_icon
open_by_double_click
xdotool windowfocus --sync "$window"

# Pixels of the brown key's fill (#613414) in the right end of the master password box, where the
# symbols sit.
box_left=$(control_field edMasterPass left)
box_top=$(control_field edMasterPass top)
box_width=$(control_field edMasterPass width)
box_height=$(control_field edMasterPass height)
brown_pixels() {
  import -window "$window" "$root/shot.png" 2>/dev/null || { echo 0; return; }
  convert "$root/shot.png" -crop "80x${box_height}+$((box_left + box_width - 80))+${box_top}" \
    txt:- | grep -ci '#613414' || true
}
symbols_shown() { [ "$(brown_pixels)" -gt 10 ]; }
symbols_hidden() { [ "$(brown_pixels)" -eq 0 ]; }
# The colours in the box's right end, inside its frame, as a count of each: any symbol changes them.
right_end() {
  import -window "$window" "$root/end.png" 2>/dev/null || return 0
  convert "$root/end.png" \
    -crop "66x$((box_height - 6))+$((box_left + box_width - 69))+$((box_top + 3))" txt:- |
    sed 1d | awk '{ print $3 }' | sort | uniq -c
}
blank=$(right_end)
no_symbol() { [ "$(right_end)" = "$blank" ]; }
# The program's error box, by its caption.
error_box_shown() { xdotool search --onlyvisible --name '^Korvane Quillgate$' >/dev/null 2>&1; }
no_error_box() { ! error_box_shown; }

# The box has the focus at opening. Typed in two halves, each followed by a pause longer than a
# computation takes: nothing shows while the user types.
xdotool type --delay 20 "correct horse"
sleep 0.5
symbols_hidden || fail "symbols showed while the password was typed"
xdotool type --delay 20 " battery staple"
sleep 0.5
symbols_hidden || fail "symbols showed while the password was typed"

xdotool key Tab
wait_until 5 "the fingerprint once the focus left the box" symbols_shown
cp "$root/shot.png" "$shot"

eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + box_left + 20)) $((Y + box_top + box_height / 2)) click 1
xdotool key End x
wait_until 5 "the keystroke to hide the fingerprint" symbols_hidden

# Saving fails from here on: master.key becomes a folder, which no rename replaces, not even
# root's. The save's error box takes the focus at the first keystroke; a pause longer than a
# computation later, no symbol of what was typed so far is there.
data="$root/data/Korvane Quillgate"
window_origin
click_on cbSave
wait_until 5 "the tick to save the master password" test -s "$data/master.key"
rm "$data/master.key"
mkdir "$data/master.key"
click_on edMasterPass
xdotool key ctrl+a c
wait_until 5 "the error box of the failing save" error_box_shown
sleep 0.5
no_symbol || fail "symbols showed when the error box took the focus"
# The user closes it and types on: each keystroke retries the save without another box.
xdotool key Return
wait_until 5 "the error box to close" no_error_box
xdotool windowfocus --sync "$window"
xdotool type --delay 60 "orrect horse battery staple"
sleep 0.5
no_error_box || fail "the failing save opened its error box again"
no_symbol || fail "symbols showed while the password was typed"
xdotool key Tab
wait_until 5 "the fingerprint once the focus left the box" symbols_shown
echo "fingerprint shown after the entry, hidden while typing and when an error box took the focus"
