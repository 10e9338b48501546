#!/usr/bin/env bash
# The tray program's start-up time (start -> icon embedded in the tray) and idle memory (PSS after
# 3 s), each against a bare Qt tray program measured in the same batch, since absolute figures
# drift from run to run. Targets: start-up within 2x and idle PSS within 1.3x the bare program's.
#
# The two programs take turns, one run each, so that load from other processes (and other
# processes mapping the same Qt libraries, which lowers everyone's PSS) falls on both alike.
#
# usage: bench/tray-startup.sh BUILD_DIR [RUNS]   e.g. bench/tray-startup.sh build/release 5
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
measure=$here/scripts/tray-measure.sh
bare=$(realpath "$build/bench/kv_bare_tray")
app=$(realpath "$build/src/app/quillgate")

# One measured run of a program (warm-up first when $2 is 1); prints its "median" line, which for
# one run is that run's figures. The tool's own lines go to stderr.
measure_once() {
  local out
  if ! out=$("$measure" -n 1 -w "$2" -i 3 -- "$1"); then
    printf '%s\n' "$out" >&2
    echo "tray-startup: measuring $1 failed" >&2
    return 1
  fi
  printf '%s\n' "$out" | sed "s|^|$(basename "$1"): |" >&2
  grep '^median ' <<<"$out"
}
field() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<<"$2"; }
median() { sort -n | awk '{v[++n]=$1} END { print (n % 2) ? v[(n+1)/2] : (v[n/2]+v[n/2+1])/2 }'; }

bare_ms=() app_ms=() bare_pss=() app_pss=() bare_rss=() app_rss=()
for ((i = 1; i <= runs; i++)); do
  warm=$((i == 1 ? 1 : 0))
  line=$(measure_once "$bare" $warm)
  bare_ms+=("$(field tray_ms "$line")") bare_pss+=("$(field pss_kb "$line")")
  bare_rss+=("$(field rss_kb "$line")")
  line=$(measure_once "$app" $warm)
  app_ms+=("$(field tray_ms "$line")") app_pss+=("$(field pss_kb "$line")")
  app_rss+=("$(field rss_kb "$line")")
done

m() { printf '%s\n' "$@" | median; }
awk -v bm="$(m "${bare_ms[@]}")" -v am="$(m "${app_ms[@]}")" \
    -v bp="$(m "${bare_pss[@]}")" -v ap="$(m "${app_pss[@]}")" \
    -v br="$(m "${bare_rss[@]}")" -v ar="$(m "${app_rss[@]}")" -v n="$runs" 'BEGIN {
  tr = am / bm; pr = ap / bp
  printf "tray start-up, median of %d: bare %d ms, quillgate %d ms, ratio %.2f (target <= 2.00) %s\n", \
    n, bm, am, tr, (tr <= 2.0 ? "ok" : "OVER")
  printf "idle PSS after 3 s, median of %d: bare %.1f MB, quillgate %.1f MB, ratio %.2f (target <= 1.30) %s\n", \
    n, bp / 1024, ap / 1024, pr, (pr <= 1.3 ? "ok" : "OVER")
  printf "idle RSS after 3 s (for reference), median of %d: bare %.1f MB, quillgate %.1f MB, ratio %.2f\n", \
    n, br / 1024, ar / 1024, ar / br
  exit (tr <= 2.0 && pr <= 1.3) ? 0 : 1
}'
