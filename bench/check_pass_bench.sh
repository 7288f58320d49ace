#!/usr/bin/env bash
# The cost of a whole comparing pass as a user runs it: `wardctl check --all` with 5 threads,
# its write-back included, over COUNT pages of 10 KB served by nginx on loopback, side by side in
# the same run with `xargs -P5 -n200 curl` keeping its connections, the same with
# `-H 'Connection: close'` (a fresh connection per page) and urlwatch (told to fetch every body).
# wardctl runs twice: as installed, its conditional requests answered with 304 by nginx, and with
# conditionalRequests 0, fetching every body as curl does. Medians of RUNS runs, on the disk of
# build/ (not tmpfs). Never run as a test.
#   bench/check_pass_bench.sh [COUNT...]      default: 1000 10000; RUNS=5, URLWATCH=1 by default
# Needs scripts/build.sh main; installs nginx-light, urlwatch and curl when they are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
runs=${RUNS:-5}
with_urlwatch=${URLWATCH:-1}
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(1000 10000)

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light curl
[ "$with_urlwatch" = 1 ] && ensure_packages urlwatch
require_built check_pass_bench "$bin/wardctl" "$bin/make_documents"

make_work_folder pass-bench

start_nginx


declare -A wardlet_median
for count in "${counts[@]}"; do
  base="http://127.0.0.1:$port/p"
  make_pages "$work/www" "$count"
  curl -sf -o /dev/null "${base}0" || { echo "check_pass_bench: nginx does not serve the pages" >&2; exit 1; }
  seq 0 $((count - 1)) | sed "s|^|$base|" >"$work/urls"
  home="$work/home-$count"
  "$bin/make_documents" "$home/Calvorne/Wardlet" "$base" "$count"
  XDG_DATA_HOME="$home" "$bin/wardctl" check --all >/dev/null || true  # the first copies
  whole="$work/whole-$count"
  "$bin/make_documents" "$whole/Calvorne/Wardlet" "$base" "$count"
  XDG_DATA_HOME="$whole" "$bin/wardctl" options set conditionalRequests 0
  XDG_DATA_HOME="$whole" "$bin/wardctl" check --all >/dev/null || true
  if [ "$with_urlwatch" = 1 ]; then
  {
    echo "check_interval: 0"
    echo "report: {stdout: {enabled: false}, text: {details: false}}"
  } >"$work/urlwatch.yaml"
  : >"$work/urls.yaml"
  while read -r url; do printf -- '---\nurl: %s\nignore_cached: true\n' "$url" >>"$work/urls.yaml"; done <"$work/urls"
  uw=(urlwatch --urls "$work/urls.yaml" --config "$work/urlwatch.yaml" --cache "$work/cache.db")
  "${uw[@]}" >/dev/null 2>&1 || true  # its first copies
  fi

  w=() f=() k=() c=() u=()
  for _ in $(seq "$runs"); do
    w+=("$(timed env XDG_DATA_HOME="$home" "$bin/wardctl" check --all)")
    f+=("$(timed env XDG_DATA_HOME="$whole" "$bin/wardctl" check --all)")
    k+=("$(timed sh -c "xargs -P5 -n200 curl -s -o /dev/null <'$work/urls'")")
    c+=("$(timed sh -c "xargs -P5 -n200 curl -s -o /dev/null -H 'Connection: close' <'$work/urls'")")
    # urlwatch takes minutes at 10,000 pages: one run is enough for the ratio there.
    if [ "$with_urlwatch" = 1 ] && { [ "$count" -le 1000 ] || [ ${#u[@]} -eq 0 ]; }; then
      u+=("$(timed "${uw[@]}")")
    fi
  done
  wm=$(printf '%s\n' "${w[@]}" | median)
  fm=$(printf '%s\n' "${f[@]}" | median)
  km=$(printf '%s\n' "${k[@]}" | median)
  cm=$(printf '%s\n' "${c[@]}" | median)
  wardlet_median[$count]=$fm
  awk -v n="$count" -v w="$wm" -v f="$fm" -v k="$km" -v c="$cm" 'BEGIN {
    printf "%6d pages: wardctl check --all %.3fs with 304s, %.3fs fetching every body   curl keeping connections %.3fs (%.2fx, %.2fx)   curl with a fresh connection a page %.3fs (%.2fx, %.2fx)\n",
      n, w, f, k, w / k, f / k, c, w / c, f / c }'
  if [ ${#u[@]} -gt 0 ]; then
    um=$(printf '%s\n' "${u[@]}" | median)
    awk -v u="$um" -v f="$fm" 'BEGIN { printf "        urlwatch %.3fs (wardctl fetching every body %.1fx faster)\n", u, u / f }'
  fi
  rm -rf "$work"/www/p* "$work/cache.db" "$home" "$whole"
done
if [ -n "${wardlet_median[1000]:-}" ] && [ -n "${wardlet_median[10000]:-}" ]; then
  awk -v a="${wardlet_median[1000]}" -v b="${wardlet_median[10000]}" \
    'BEGIN { printf "10,000 pages take %.1fx the time of 1,000\n", b / a }'
fi
