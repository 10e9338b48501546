#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The tray program's start-up time (start -> icon embedded in the tray) and idle memory (PSS after
# 3 s), each against a bare Qt tray program measured in the same batch, since absolute figures
# drift from run to run. Targets: start-up and idle RSS within 1.1x the bare program's (PSS and
# anonymous memory for reference).
#
# The two programs take turns, one run each after one unmeasured warm-up run each, so that load
# from other processes (and other processes mapping the same Qt libraries, which lowers everyone's
# PSS) falls on both alike. Every run has an X server, a tray, a session bus and data folders of
# its own; kv_tray_probe starts the program, waits for its icon and reads its memory.
#
# usage: bench/tray-startup.sh BUILD_DIR [RUNS]   e.g. bench/tray-startup.sh build/release 5
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-5}
probe=$(realpath "$build/bench/kv_tray_probe")
bare=$(realpath "$build/bench/kv_bare_tray")
app=$(realpath "$build/src/app/quillgate")
work=$(mktemp -d)
xvfb='' tray='' display=''

stop_display() {
  [[ -z $xvfb$tray ]] || { kill $tray $xvfb 2>/dev/null || true; wait $tray $xvfb 2>/dev/null || true; }
  xvfb='' tray=''
}
trap 'stop_display; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# A private X server on a display nobody holds (no lock file; taken once a client gets through,
# since servers of parallel runs come and go), with trayer as its tray.
start_display() {
  local n
  for _ in {1..10}; do
    n=$((100 + RANDOM % 900))
    [[ ! -e /tmp/.X$n-lock ]] || continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in {1..50}; do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        display=:$n
        DISPLAY=$display trayer --edge top --align right --widthtype request --height 32 \
          --SetDockType true >/dev/null 2>&1 &
        tray=$!
        return
      fi
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
    stop_display
  done
  echo "tray-startup: no X server would start" >&2
  exit 1
}

# One run of a program; sets $figures to the probe's "tray_ms=N rss_kb=N pss_kb=N anon_kb=N".
measure() {
  rm -rf "${work:?}/home" "$work/run"
  mkdir -p "$work/home" "$work/run" && chmod 700 "$work/run"
  start_display
  if ! figures=$(env -i PATH="$PATH" LANG=C.UTF-8 QT_QPA_PLATFORM=xcb DISPLAY="$display" \
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" \
    XDG_RUNTIME_DIR="$work/run" dbus-run-session -- "$probe" 3 "$1" </dev/null 2>"$work/log"); then
    cat "$work/log" >&2
    echo "tray-startup: measuring $1 failed" >&2
    exit 1
  fi
  stop_display
  echo "$(basename "$1"): $figures" >&2
}
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p" <<<"$2"; }
median() { sort -n | awk '{v[++n]=$1} END { print (n % 2) ? v[(n+1)/2] : (v[n/2]+v[n/2+1])/2 }'; }

declare -A all=()
for ((i = 0; i <= runs; i++)); do
  for program in "$bare" "$app"; do
    measure "$program"
    ((i > 0)) || continue # the warm-up run
    for f in tray_ms pss_kb rss_kb anon_kb; do all[$program $f]+="$(field $f "$figures") "; done
  done
done

m() { local -a v; read -ra v <<<"${all[$1 $2]}"; printf '%s\n' "${v[@]}" | median; }
awk -v bm="$(m "$bare" tray_ms)" -v am="$(m "$app" tray_ms)" \
    -v bp="$(m "$bare" pss_kb)" -v ap="$(m "$app" pss_kb)" \
    -v br="$(m "$bare" rss_kb)" -v ar="$(m "$app" rss_kb)" \
    -v ba="$(m "$bare" anon_kb)" -v aa="$(m "$app" anon_kb)" -v n="$runs" 'BEGIN {
  tr = am / bm; pr = ap / bp; rr = ar / br
  printf "tray start-up, median of %d: bare %d ms, quillgate %d ms, ratio %.2f (target <= 1.10) %s\n", \
    n, bm, am, tr, (tr <= 1.1 ? "ok" : "OVER")
  printf "idle RSS after 3 s, median of %d: bare %.1f MB, quillgate %.1f MB, ratio %.2f (target <= 1.10) %s\n", \
    n, br / 1024, ar / 1024, rr, (rr <= 1.1 ? "ok" : "OVER")
  printf "idle PSS after 3 s (for reference), median of %d: bare %.1f MB, quillgate %.1f MB, ratio %.2f\n", \
    n, bp / 1024, ap / 1024, pr
  printf "idle anonymous memory after 3 s (for reference), median of %d: bare %.1f MB, quillgate %.1f MB, ratio %.2f\n", \
    n, ba / 1024, aa / 1024, aa / ba
  exit (tr <= 1.1 && rr <= 1.1) ? 0 : 1
}'
