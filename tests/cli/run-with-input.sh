#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program with INPUT on its standard input (printf's backslash escapes such as \n and \r are
# understood), then prints its exit status on a line of its own, so that one pattern over the output
# checks what the program printed and how it ended.
# Usage: run-with-input.sh INPUT PROGRAM [ARGUMENT...]
input=$1
shift
printf '%b' "$input" | "$@"
echo "exit $?"
