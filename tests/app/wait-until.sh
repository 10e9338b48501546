# Sourced by the test scripts: the one way they wait for something to happen.
#   wait_until LIMIT WHAT COMMAND [ARGS...]
# Runs COMMAND every 50 ms until it succeeds. After LIMIT seconds it gives up with
# "waited LIMIT s for WHAT", through the caller's fail() when it has one.
wait_until() {
  _limit=$1
  _what=$2
  shift 2
  _tries=$((_limit * 20))
  until "$@"; do
    _tries=$((_tries - 1))
    if [ "$_tries" -le 0 ]; then
      if command -v fail >/dev/null 2>&1; then
        fail "waited $_limit s for $_what"
      fi
      echo "FAIL: waited $_limit s for $_what" >&2
      exit 1
    fi
    sleep 0.05
  done
}
