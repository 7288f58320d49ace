#!/usr/bin/env bash
# What filters cost. 1. A whole `wardctl check --all` pass over COUNT pages of about 10 KB served
# by nginx on loopback, every page with a CSS selector and an ignore pattern, beside the same pass
# without filters (both fetching every body: conditional requests off), once over the same pages
# and once with every page's clock moved before the pass. Goal: at most 1.5x.
# 2. The peak memory of checking one 50 MB page (BIG_MB) with a selector, beside the page's size and the
# same check without filters. Goal: under 4x the page. Medians of RUNS runs. Never run as a test.
#   bench/filter_bench.sh [COUNT]      default 1000; RUNS=5
# Needs scripts/build.sh main; installs nginx-light and curl when they are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
runs=${RUNS:-5}
count=${1:-1000}

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light curl
require_built filter_bench "$bin/wardctl" "$bin/make_documents"
make_work_folder filter-bench
[ -n "${KEEP:-}" ] && trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null' EXIT
start_nginx

# Pages of 10 KB of text lines with a clock, a price and a list, as a shop page has them.
/usr/bin/python3 - "$work/www" "$count" <<'PY'
import base64, os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    lines = base64.encodebytes(os.urandom(6900)).decode().splitlines()
    body = "".join("<p>%s</p>\n" % l for l in lines)
    page = ("<html><head><title>Shop %d</title></head><body>\n<p class=\"clock\">12:00:%02d</p>\n"
            "%s<div id=\"product\"><span class=\"price\">%d EUR</span></div>\n</body></html>\n"
            % (i, i % 60, body, i))
    with open(os.path.join(folder, "p%d" % i), "w") as f:
        f.write(page)
PY
base="http://127.0.0.1:$port/p"
curl -sf -o /dev/null "${base}0" || { echo "filter_bench: nginx does not serve the pages" >&2; exit 1; }

plain="$work/plain" filtered="$work/filtered"
for home in "$plain" "$filtered"; do
  "$bin/make_documents" "$home/Calvorne/Wardlet" "$base" "$count"
  XDG_DATA_HOME="$home" "$bin/wardctl" options set conditionalRequests 0
done
mkdir -p "$filtered/Calvorne/Wardlet/Filters"
for i in $(seq 0 $((count - 1))); do
  printf '{"css": "#product span.price", "ignore": ["^<p class=\\"clock\\">"]}\n' \
    >"$filtered/Calvorne/Wardlet/Filters/page $i.filters"
done
for home in "$plain" "$filtered"; do
  XDG_DATA_HOME="$home" "$bin/wardctl" check --all >/dev/null || true  # the first copies
done
p=() f=()
for _ in $(seq "$runs"); do
  p+=("$(timed env XDG_DATA_HOME="$plain" "$bin/wardctl" check --all)")
  f+=("$(timed env XDG_DATA_HOME="$filtered" "$bin/wardctl" check --all)")
done
pm=$(printf '%s\n' "${p[@]}" | median)
fm=$(printf '%s\n' "${f[@]}" | median)
awk -v n="$count" -v p="$pm" -v f="$fm" 'BEGIN {
  printf "%d pages: wardctl check --all without filters %.3fs, with a selector and an ignore pattern %.3fs (%.2fx; goal 1.5x)\n", n, p, f, f / p }'
grep -c "Checked" <(XDG_DATA_HOME="$filtered" "$bin/wardctl" list) >/dev/null ||
  { echo "filter_bench: the filtered pass checked nothing" >&2; exit 1; }
# The same with every page's clock moved before each pass: the unfiltered pass finds every page
# changed, the filtered one must filter every page to find them unchanged.
p=() f=()
for run in $(seq "$runs"); do
  sed -i "s|<p class=\"clock\">[^<]*</p>|<p class=\"clock\">13:$run:00</p>|" "$work"/www/p*
  XDG_DATA_HOME="$plain" "$bin/wardctl" mark-checked --all  # a Changed page is not checked again
  p+=("$(timed env XDG_DATA_HOME="$plain" "$bin/wardctl" check --all)")
  f+=("$(timed env XDG_DATA_HOME="$filtered" "$bin/wardctl" check --all)")
done
pm=$(printf '%s\n' "${p[@]}" | median)
fm=$(printf '%s\n' "${f[@]}" | median)
changed=$(XDG_DATA_HOME="$filtered" "$bin/wardctl" list | grep -c "Changed" || true)
awk -v n="$count" -v p="$pm" -v f="$fm" -v c="$changed" 'BEGIN {
  printf "%d pages, each clock moved: without filters %.3fs (every page changed), with them %.3fs (%d changed) (%.2fx)\n", n, p, f, c, f / p }'

# One page of BIG_MB megabytes (default 50): many small elements, the price at the end. A CSS
# selector reads it as a stream; only an XPath expression needs the tree (and refuses pages over
# 16 MB).
/usr/bin/python3 - "$work/www/big" "${BIG_MB:-50}" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("<html><body><ul>\n")
    line = "<li class=\"item\">an entry of the long list, with <b>some</b> markup</li>\n"
    for _ in range((int(sys.argv[2]) << 20) // len(line)):
        f.write(line)
    f.write("</ul><div class=\"price\">10 EUR</div></body></html>\n")
PY
size=$(stat -c %s "$work/www/big")
peak() {  # kilobytes of the check's peak resident memory, its second check (a comparison)
  local home=$1
  XDG_DATA_HOME="$home" "$bin/wardctl" check --all >/dev/null || true
  echo "<!-- $home -->" >>"$work/www/big"  # another page than the kept one: it is filtered
  { XDG_DATA_HOME="$home" /usr/bin/time -f %M "$bin/wardctl" check --all 2>&1 >/dev/null || true; } | tail -1
}
for name in bigplain bigfiltered; do
  home="$work/$name"
  mkdir -p "$home"
  XDG_DATA_HOME="$home" "$bin/wardctl" add --type web-page --name big \
    --location "http://127.0.0.1:$port/big" $([ $name = bigfiltered ] && echo --select div.price)
  # Every check fetches the body, as a changed page would be.
  XDG_DATA_HOME="$home" "$bin/wardctl" options set conditionalRequests 0
done
pk=$(peak "$work/bigplain")
fk=$(peak "$work/bigfiltered")
awk -v s="$size" -v p="$pk" -v f="$fk" 'BEGIN {
  printf "a %.1f MB page: peak memory %.1f MB without filters, %.1f MB with a selector (%.2fx the page; goal under 4x)\n", s / 1048576, p / 1024, f / 1024, f * 1024 / s }'
