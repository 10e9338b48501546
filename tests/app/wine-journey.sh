#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows tray program end to end under Wine, on a private Xvfb with a tray host (Wine's
# notification area docks its icons in that XEmbed tray):
#   wine-journey.sh QUILLGATE.EXE QUILLGATE_CLI WINEPREFIX
# QUILLGATE_CLI is the Linux build's: the Windows program must derive what it derives.
# KV_FORM_LAYOUT is the tool that prints the window's form table. WINEPREFIX is a prefix for this
# test alone (scripts/test-windows copies the build's there; else it is made on first use, in half a
# minute, and kept); its Wine server is started here, on this display, and ended with the test, so
# that its notification area docks the icon here.
#
# The journey: the window opened by a double-click on the docked icon; a master password typed, a
# URL and a login pasted (in place of typing, below), "Generate" and "Copy": the clipboard must hold
# the password quillgate-cli derives for the same text. The URL holds a character of code page 1252
# and the login one outside it, so urls.db must be written in 1252 (no mark) and logins.db as UTF-8
# with its mark. "Save password" ticked: master.key must hold a data-protection blob, never the
# password. "Run on Windows startup" ticked: the Run value must name the program (read with Wine's
# "reg query"). "Exit" from the tray menu with the window open: the lists and config.ini (with the
# position) must be on disk. A second start must give the same password from master.key, urls.db and
# logins.db read back (the site's button with its last login, the login offered), and end by
# "Exit" too. The site's host has known password rules: taken in the "Site rules" dialog (Ctrl+R,
# Alt+K, Enter), they give the password quillgate-cli derives with them, and the second start gives
# it again from records.db.
#
# What Wine cannot show, and how it is covered instead:
# - Wine's data protection seals with a key of the prefix, not of the user's log-on secret, in a
#   blob of its own provider: that another user cannot open master.key is not shown here. The blob's
#   header is checked, that the password is not in it, and that it opens again (the second start).
# - No Windows shell: the Run value is checked where Windows reads it at log-on, but no log-on
#   starts the program. The icon is Wine's XEmbed window in trayer, not the Windows taskbar's
#   notification area; the double-click reaches the program through Wine's own double-click timing
#   (the clicks are 80 ms apart, well inside any system's setting).
# - No window manager: Wine draws no frame and shows the client area where the Windows frame's
#   client would be, so the position saved (the frame's) is checked to lie within a frame's border
#   and caption of it, not to the pixel. Captions and fonts are Wine's: their look on Windows is
#   not shown.
# - The code page conversions are Wine's tables for 1252; the backend's tests under Wine check the
#   same rules in 1251 too.
# - Typing characters off the keyboard's map: Wine reads the map once (see paste_into below). The
#   URL and the login are pasted, which reaches the same boxes through the system's clipboard.
set -eu
program=$1
cli=$2
prefix=$3
master='correct horse 7'
url='https://secure.chase.com/café'
login='łukasz'

. "$(dirname "$0")/x-session.sh"
make_scratch kvwine
for tool in "$cli" "${KV_FORM_LAYOUT:?the path of kv_form_layout}"; do
  [ -x "$tool" ] || fail "no $tool: the Linux build's tools (scripts/test-windows builds them)"
done
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
# Every Wine program of the prefix ends with the test, before the display does.
trap 'wineserver -k >/dev/null 2>&1 </dev/null || true; cleanup' EXIT

start_display
start_tray

# A server left by an earlier run would keep that run's display.
wineserver -k >/dev/null 2>&1 </dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || fail "wineboot could not make $WINEPREFIX"
  wineserver -w
fi
wineserver -p >/dev/null 2>&1 </dev/null

# A Windows folder of the user's (LOCALAPPDATA), as a path here.
user_folder() {
  folder=$("$wine" cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r')
  [ -n "$folder" ] && folder=$(winepath -u "$folder" 2>/dev/null) && [ -d "$folder" ] ||
    fail "no folder $1 in the prefix"
  printf '%s\n' "$folder"
}
# A fresh start: no data folder and no Run value from an earlier run.
data="$(user_folder LOCALAPPDATA)/Korvane Quillgate"
rm -rf "$data"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
"$wine" reg delete "$run_key" /v 'Korvane Quillgate' /f >/dev/null 2>&1 </dev/null || true

# Wine names the program's X windows by its file: its pop-up menu is found by that name.
program_class=quillgate.exe
start_wine_program() {
  "$wine" "$program" 2>"$root/stderr" </dev/null &
  app=$!
}

# Puts TEXT into the named box through the clipboard: Wine reads the keyboard's map once, so the
# keys xdotool maps on the fly for characters off that map arrive as others ("łódź" as "édé").
paste_into() {
  printf '%s' "$2" | xclip -selection clipboard
  wait_until 5 "xclip to own the clipboard" clipboard_is "$2"
  click_on "$1"
  xdotool key ctrl+a ctrl+v
}
# Copy; the clipboard must hold what quillgate-cli derives for the URL and LOGIN with the site's
# RULES (--no-rules or --known-rules), given in full so that it reads no data folder of its own.
copy_and_compare() {
  want=$(printf '%s\n' "$master" |
    XDG_DATA_HOME="$root/linux-data" "$cli" derive --counter 1 "$3" "$url" "$1")
  [ -n "$want" ] || fail "quillgate-cli derived nothing"
  printf 'before the copy' | xclip -selection clipboard
  wait_until 5 "xclip to own the clipboard" clipboard_is 'before the copy'
  click_on sbCopy
  wait_until 10 "$2 to put $want on the clipboard (it holds '$(clipboard)')" \
    clipboard_is "$want"
}
generate_and_compare() {
  click_on bbGenerate
  copy_and_compare "$@"
}
exit_from_tray_menu() {
  choose_from_tray_menu 2
  wait_for_end "Exit from the tray menu"
}
bytes() { od -An -tx1 -v "$1" | tr -d ' \n'; }
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }

# --- First start: everything typed anew.
start_wine_program
wait_until 30 "the tray icon to be embedded" icon_embedded
wait_for_icon
open_by_double_click
window_origin
click_on edMasterPass
xdotool type --delay 20 "$master"
paste_into edURL "$url"
paste_into edLogin "$login"
generate_and_compare "$login" "Generate and Copy" --no-rules

# The site's known rules, by keyboard: "Site rules…", "Use the known rules", OK.
rules_dialog_shown() {
  dialog=$(xdotool search --onlyvisible --name '^Site rules for secure\.chase\.com$' 2>/dev/null |
    head -n 1) && [ -n "$dialog" ]
}
rules_dialog_gone() { ! rules_dialog_shown; }
click_on edPassword
xdotool key ctrl+r
wait_until 10 "the site rules dialog" rules_dialog_shown
# Wine maps the dialog before it takes keys: the keys go once it holds the focus, and apart, as Wine
# loses a letter pressed with Alt in the same instant.
dialog_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$dialog" ]; }
xdotool windowfocus "$dialog"
wait_until 10 "the site rules dialog to take the focus" dialog_focused
xdotool key --delay 100 alt+k Return
wait_until 10 "the site rules dialog to close" rules_dialog_gone
copy_and_compare "$login" "the known rules taken" --known-rules

click_on cbSave
key_written() { [ -s "$data/master.key" ]; }
wait_until 5 "master.key" key_written
# The blob of the system's data protection: version 1 and its provider's identifier first (Wine's
# own provider is the text "Wine Crypt32 ok", Windows' a GUID).
case $(bytes "$data/master.key") in
01000000d08c9ddf0115d1118c7a00c04fc297eb* | 01000000$(hex 'Wine Crypt32 ok')00*) ;;
*) fail "master.key is no data-protection blob: $(bytes "$data/master.key" | cut -c1-80)" ;;
esac
for form in "$(hex "$master")" "$(printf '%s' "$master" | iconv -t UTF-16LE | od -An -tx1 -v |
  tr -d ' \n')"; do
  case $(bytes "$data/master.key") in *"$form"*) fail "master.key holds the password" ;; esac
done

click_on cbRunOnStartup
expected_run=$(winepath -w "$program" 2>/dev/null)
case $expected_run in *' '*) expected_run="\"$expected_run\"" ;; esac
run_value() {
  "$wine" reg query "$run_key" /v 'Korvane Quillgate' </dev/null 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Korvane Quillgate *REG_SZ *//p'
}
run_value_written() { [ "$(run_value)" = "$expected_run" ]; }
within 5 run_value_written ||
  fail "the Run value is '$(run_value)', not '$expected_run'"

grep -qs '^Top=' "$data/config.ini" && fail "the window saved before it closed"
# The window moved away from where it opened: the position it ends at is saved.
xdotool windowmove --sync "$window" 200 150
window_origin
exit_from_tray_menu

for file in urls.db logins.db config.ini records.db; do
  [ -s "$data/$file" ] || fail "$file was not saved"
done
# urls.db: every line fits code page 1252, so it is written in it, without a mark: "é" is E9.
url_line=$(printf '%s' "$url" | iconv -f UTF-8 -t CP1252 | od -An -tx1 -v | tr -d ' \n')
case $(bytes "$data/urls.db") in
efbbbf*) fail "urls.db, all in code page 1252, was written as UTF-8" ;;
*3a${url_line}0d0a*) ;;
*) fail "urls.db does not hold the URL in code page 1252: $(bytes "$data/urls.db")" ;;
esac
# logins.db: "ł" is outside 1252, so the list is UTF-8 with its mark, the login unchanged.
case $(bytes "$data/logins.db") in
efbbbf*3a$(hex "$login")0d0a*) ;;
*) fail "logins.db does not hold the login as UTF-8 with its mark: $(bytes "$data/logins.db")" ;;
esac
# The saved position is the Windows frame's, which Wine places around the X window it shows (no
# window manager draws one): the client area lies within a frame's width and caption of it.
saved() { tr -d '\r' <"$data/config.ini" | sed -n "s/^$1=\(-\{0,1\}[0-9]\{1,\}\)$/\1/p"; }
left=$(saved Left)
top=$(saved Top)
[ -n "$left" ] && [ -n "$top" ] && [ $((wx - left)) -ge -8 ] && [ $((wx - left)) -le 8 ] &&
  [ $((wy - top)) -ge 0 ] && [ $((wy - top)) -le 40 ] ||
  fail "config.ini does not hold the position of the window at $wx,$wy: $(cat "$data/config.ini")"

# --- Second start: the password comes from master.key, the site from urls.db, the login offered
# from logins.db.
start_wine_program
wait_until 30 "the tray icon to be embedded" icon_embedded
wait_for_icon
open_by_double_click
window_origin
button_width=$(form_layout | jq '.siteButton.width')
button_height=$(form_layout | jq '.siteButton.height')
# The new site's button is the second; a new list starts with one of its own.
click_on bgThumbs $((button_width + button_width / 2)) $((button_height / 2))
generate_and_compare "$login" "the site's button with its last login and the saved master password" \
  --known-rules
click_on edLogin
xdotool key ctrl+a BackSpace
generate_and_compare "" "the login box emptied" --known-rules
click_on edLogin
xdotool key Down
generate_and_compare "$login" "the site's login offered" --known-rules
exit_from_tray_menu
echo "saved: $(ls "$data" | tr '\n' ' ')"
