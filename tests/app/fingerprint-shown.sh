#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The master password's fingerprint in the real program on a private Xvfb with a tray host:
#   fingerprint-shown.sh QUILLGATE QUILLGATE_CLI SCREENSHOT.png
# Types the master password into the window: while it is typed, the right end of the box shows no
# symbol; once the focus leaves the box the three symbols that "quillgate-cli fingerprint" names
# appear there (the window's screenshot is left at SCREENSHOT.png); the next keystroke in the box
# takes them away again.
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
echo "fingerprint shown after the entry, hidden while typing"
