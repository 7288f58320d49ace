#!/usr/bin/env bash
# The cost of a whole comparing pass as a user runs it: `wardctl check --all` with 5 threads,
# its write-back included, over COUNT pages of 10 KB served by nginx on loopback, side by side in
# the same run with `xargs -P5 -n200 curl -H 'Connection: close'` (a fresh connection per page,
# as the checks make) and with urlwatch (told to fetch every body). Medians of RUNS runs, on the
# disk of build/ (not tmpfs). Never run as a test.
#   bench/check_pass_bench.sh [COUNT...]      default: 1000 10000; RUNS=5 by default
# Needs scripts/build.sh main; installs nginx-light, urlwatch and curl when they are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
runs=${RUNS:-5}
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(1000 10000)

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light urlwatch curl
for tool in "$bin/wardctl" "$bin/make_documents"; do
  [ -x "$tool" ] || { echo "check_pass_bench: build first (scripts/build.sh main)" >&2; exit 2; }
done

mkdir -p "$top/build"
work=$(mktemp -d "$top/build/pass-bench.XXXXXX")
chmod 755 "$work"  # nginx's workers run as www-data when started by root
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

port=$((20000 + RANDOM % 20000))
write_nginx_conf "$work" "  server { listen 127.0.0.1:$port; root $work/www; }"
nginx -c "$work/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done


declare -A wardlet_median
for count in "${counts[@]}"; do
  base="http://127.0.0.1:$port/p"
  python3 -c 'import base64, os, sys
for i in range(int(sys.argv[2])):
    with open(os.path.join(sys.argv[1], "p%d" % i), "wb") as f:
        f.write(base64.encodebytes(os.urandom(7680))[:10240])' "$work/www" "$count"
  curl -sf -o /dev/null "${base}0" || { echo "check_pass_bench: nginx does not serve the pages" >&2; exit 1; }
  seq 0 $((count - 1)) | sed "s|^|$base|" >"$work/urls"
  home="$work/home-$count"
  "$bin/make_documents" "$home/Calvorne/Wardlet" "$base" "$count"
  XDG_DATA_HOME="$home" "$bin/wardctl" check --all >/dev/null || true  # the first copies
  {
    echo "check_interval: 0"
    echo "report: {stdout: {enabled: false}, text: {details: false}}"
  } >"$work/urlwatch.yaml"
  : >"$work/urls.yaml"
  while read -r url; do printf -- '---\nurl: %s\nignore_cached: true\n' "$url" >>"$work/urls.yaml"; done <"$work/urls"
  uw=(urlwatch --urls "$work/urls.yaml" --config "$work/urlwatch.yaml" --cache "$work/cache.db")
  "${uw[@]}" >/dev/null 2>&1 || true  # its first copies

  w=() c=() u=()
  for _ in $(seq "$runs"); do
    w+=("$(timed env XDG_DATA_HOME="$home" "$bin/wardctl" check --all)")
    c+=("$(timed sh -c "xargs -P5 -n200 curl -s -o /dev/null -H 'Connection: close' <'$work/urls'")")
    # urlwatch takes minutes at 10,000 pages: one run is enough for the ratio there.
    if [ "$count" -le 1000 ] || [ ${#u[@]} -eq 0 ]; then u+=("$(timed "${uw[@]}")"); fi
  done
  wm=$(printf '%s\n' "${w[@]}" | median)
  cm=$(printf '%s\n' "${c[@]}" | median)
  um=$(printf '%s\n' "${u[@]}" | median)
  wardlet_median[$count]=$wm
  awk -v n="$count" -v w="$wm" -v c="$cm" -v u="$um" 'BEGIN {
    printf "%6d pages: wardctl check --all %.3fs   curl %.3fs (%.2fx)   urlwatch %.3fs (wardctl %.1fx faster)\n",
      n, w, c, w / c, u, u / w }'
  rm -f "$work"/www/p* "$work/cache.db"
done
if [ -n "${wardlet_median[1000]:-}" ] && [ -n "${wardlet_median[10000]:-}" ]; then
  awk -v a="${wardlet_median[1000]}" -v b="${wardlet_median[10000]}" \
    'BEGIN { printf "10,000 pages take %.1fx the time of 1,000\n", b / a }'
fi
