#!/usr/bin/env bash
# The window's own pass against `wardctl check --all` over the same COUNT pages of 10 KB served by
# nginx on loopback, side by side in one run: `window_bench pass` (the window started offscreen,
# Check All, the pass with its rows and notifications, the exit with its write-back) and wardctl,
# each over its own copy of the documents, 5 threads both. Medians of RUNS runs, and the window's
# longest event-loop stall of each run. The window's start (Qt, the window, the rows) is given
# apart: wardctl has none of it. WHOLE=1 turns conditional requests off on both sides, every
# body fetched. BEFORE=path/to/an/older/window_bench runs that one too, over a third copy.
# Never run as a test.
#   bench/window_pass_bench.sh [COUNT]      default: 1000; RUNS=3 by default
# Needs scripts/build.sh main (window_bench, wardctl, make_documents); installs nginx-light.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
runs=${RUNS:-3}
count=${1:-1000}

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light curl
require_built window_pass_bench "$bin/wardctl" "$bin/make_documents" "$bin/window_bench"

make_work_folder window-pass-bench

start_nginx

base="http://127.0.0.1:$port/p"
make_pages "$work/www" "$count"
curl -sf -o /dev/null "${base}0" || { echo "window_pass_bench: nginx does not serve the pages" >&2; exit 1; }

# Each side its own data folder with its first copies taken; no start-up check in the window.
sides=(window wardctl)
[ -n "${BEFORE:-}" ] && sides+=(before)
for side in "${sides[@]}"; do
  "$bin/make_documents" "$work/$side/Calvorne/Wardlet" "$base" "$count"
  XDG_DATA_HOME="$work/$side" "$bin/wardctl" options set startupCheck 0
  [ "${WHOLE:-0}" = 1 ] && XDG_DATA_HOME="$work/$side" "$bin/wardctl" options set conditionalRequests 0
  XDG_DATA_HOME="$work/$side" "$bin/wardctl" check --all >/dev/null || true
done

w=() p=() b=() c=() stalls=()
for _ in $(seq "$runs"); do
  start=$(date +%s.%N)
  line=$(XDG_DATA_HOME="$work/window" QT_QPA_PLATFORM=offscreen "$bin/window_bench" pass 2>/dev/null)
  end=$(date +%s.%N)
  w+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')")
  echo "  $line"
  p+=("$(sed -n 's/.*, \([0-9.]*\) s with the exit.*/\1/p' <<<"$line")")
  stalls+=("$(sed -n 's/.*stall \([0-9]*\) ms.*/\1/p' <<<"$line")")
  if [ -n "${BEFORE:-}" ]; then
    line=$(XDG_DATA_HOME="$work/before" QT_QPA_PLATFORM=offscreen "$BEFORE" pass 2>/dev/null)
    echo "  before: $line"
    b+=("$(sed -n 's/.*, \([0-9.]*\) s with the exit.*/\1/p' <<<"$line")")
  fi
  c+=("$(timed env XDG_DATA_HOME="$work/wardctl" "$bin/wardctl" check --all)")
done
wm=$(printf '%s\n' "${w[@]}" | median)
pm=$(printf '%s\n' "${p[@]}" | median)
cm=$(printf '%s\n' "${c[@]}" | median)
worst=$(printf '%s\n' "${stalls[@]}" | sort -n | tail -1)
awk -v n="$count" -v w="$wm" -v p="$pm" -v c="$cm" -v s="$worst" 'BEGIN {
  printf "%6d pages: wardctl check --all %.3fs; the window from its start to its end %.3fs (%.2fx), from Check All to the end of its write-back %.3fs (%.2fx); longest event-loop stall %d ms\n",
    n, c, w, w / c, p, p / c, s }'
if [ ${#b[@]} -gt 0 ]; then
  bm=$(printf '%s\n' "${b[@]}" | median)
  awk -v b="$bm" -v c="$cm" 'BEGIN { printf "        the older window from Check All to the end of its write-back %.3fs (%.2fx)\n", b, b / c }'
fi
