#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The launcher's feedback for a first start from the application menu ends once the program runs,
# though a tray program shows no window: on a private Xvfb without a tray, the program started with
# a startup identifier (as a launcher starts it, the menu entry asking for startup notification)
# sends the startup notification's "remove" message to the root window.
#   first-start-feedback.sh QUILLGATE
set -eu
program=$1

. "$(dirname "$0")/x-session.sh"
make_scratch kvfeedback
mkdir -p "$root/run" "$root/home" "$root/data" "$root/config"
chmod 700 "$root/run"

start_display
listen_on_root

DESKTOP_STARTUP_ID=kv-first-start
export DESKTOP_STARTUP_ID
start_program
unset DESKTOP_STARTUP_ID
wait_for_launch_completed
kill -0 "$app" 2>/dev/null || fail "the program ended"
kill -TERM "$app"
wait_for_end "SIGTERM"
echo "the first start's launch completed with no window shown"
