#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How long a second start of the tray program takes while one runs for the same data folder: wall
# time from exec to its exit (status 0), the running program having been asked to open its window
# (after the first run, to bring it to the front). Prints the median, the fastest and the slowest.
#
# usage: bench/second-start.sh BUILD_DIR [RUNS]   e.g. bench/second-start.sh build/release 9
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-9}
app=$(realpath "$build/src/app/quillgate")
work=$(mktemp -d)
xvfb='' tray='' running=''

cleanup() {
  for pid in $running $tray $xvfb; do kill "$pid" 2>/dev/null || true; done
  wait $running $tray $xvfb 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private X server on a display nobody holds, with trayer as its tray.
for _ in {1..10}; do
  n=$((100 + RANDOM % 900))
  [[ ! -e /tmp/.X$n-lock ]] || continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in {1..50}; do
    xdpyinfo -display ":$n" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo -display ":$n" >/dev/null 2>&1 && break
  kill "$xvfb" 2>/dev/null || true
  xvfb=''
done
[[ -n $xvfb ]] || { echo "second-start: no X server would start" >&2; exit 1; }
export DISPLAY=:$n
trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
  >/dev/null 2>&1 &
tray=$!

mkdir -p "$work/home" "$work/run" && chmod 700 "$work/run"
program() {
  env -i PATH="$PATH" LANG=C.UTF-8 QT_QPA_PLATFORM=xcb DISPLAY="$DISPLAY" HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_RUNTIME_DIR="$work/run" "$app" </dev/null
}
program 2>"$work/log" &
running=$!
# The running program answers once its socket is there.
for _ in {1..100}; do
  compgen -G "$work/run/quillgate-*[0-9a-f]" >/dev/null && break
  sleep 0.05
done
compgen -G "$work/run/quillgate-*[0-9a-f]" >/dev/null ||
  { cat "$work/log" >&2; echo "second-start: the program did not start listening" >&2; exit 1; }

times=()
for ((i = 0; i < runs; i++)); do
  started=$(date +%s%N)
  program >/dev/null 2>>"$work/log" || { cat "$work/log" >&2; echo "second-start: a second start failed" >&2; exit 1; }
  times+=($((($(date +%s%N) - started) / 1000)))
  sleep 0.2
done
kill -0 "$running" 2>/dev/null || { echo "second-start: the running program ended" >&2; exit 1; }

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
echo "second start (exec to exit 0 while one runs), $runs runs: median $(ms "${sorted[runs / 2]}") ms," \
  "fastest $(ms "${sorted[0]}") ms, slowest $(ms "${sorted[runs - 1]}") ms"
