#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a private Xvfb display managed by openbox, with a private session bus whose accessibility bus says
# that assistive technology is on, so that Qt's bridge to screen readers is live in the command:
#   with-accessibility-bus.sh COMMAND [ARGS...]
# Everything started here, and what the bus started on demand, ends however the script ends.
set -eu

session_dir="$(dirname "$0")/../app"
. "$session_dir/x-session.sh"
fail() { echo "with-accessibility-bus.sh: $*" >&2; exit 1; }
make_scratch kva11y

start_display
start_window_manager
start_session_bus
# The first call starts the accessibility bus's launcher; IsEnabled is what toolkits watch.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
  variant:boolean:true >/dev/null || fail "no accessibility bus (package at-spi2-core)"

run_on_display "$@"
