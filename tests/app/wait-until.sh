# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test scripts: the one way they wait for something to happen.
#   within LIMIT COMMAND [ARGS...]
# Runs COMMAND every 50 ms until it succeeds, and fails once LIMIT seconds have passed.
#   wait_until LIMIT WHAT COMMAND [ARGS...]
# The same, giving up with "waited LIMIT s for WHAT", through the caller's fail() when it has one.
within() {
  _tries=$(($1 * 20))
  shift
  until "$@"; do
    _tries=$((_tries - 1))
    [ "$_tries" -gt 0 ] || return 1
    sleep 0.05
  done
}

wait_until() {
  _limit=$1
  _what=$2
  shift 2
  within "$_limit" "$@" || give_up "waited $_limit s for $_what"
}

# Ends the test with a message, through the caller's fail() when it has one.
give_up() {
  if command -v fail >/dev/null 2>&1; then
    fail "$1"
  fi
  echo "FAIL: $1" >&2
  exit 1
}
