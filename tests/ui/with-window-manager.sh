#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a private Xvfb display managed by openbox, so windows get real frames:
#   with-window-manager.sh COMMAND [ARGS...]
# Xvfb, openbox and the command are ended and the scratch folder removed however the script ends,
# also when it is killed by SIGINT, SIGTERM or SIGHUP.
set -eu

session_dir="$(dirname "$0")/../app"
. "$session_dir/x-session.sh"
fail() { echo "with-window-manager.sh: $*" >&2; exit 1; }
make_scratch kvwm
mkdir -p "$root/run"
chmod 700 "$root/run"

start_display
start_window_manager

run_on_display "$@"
