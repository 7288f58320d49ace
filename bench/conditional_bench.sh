#!/usr/bin/env bash
# What a second pass over COUNT unchanged pages costs when nginx answers the conditional requests
# (its ETag and Last-Modified) with 304: the bytes nginx sent in each pass (its log's
# $bytes_sent), the time of each pass, and every file of the data folder the second pass touched
# (a new inode, size or modification time, or a file made or removed). Never run as a test.
#   bench/conditional_bench.sh [COUNT]     default 1000
# Needs scripts/build.sh main; installs nginx-light and curl when they are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
count=${1:-1000}

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light curl
require_built conditional_bench "$bin/wardctl" "$bin/make_documents"

make_work_folder conditional-bench

log="$work/nginx/sent.log"
start_nginx "access_log $log sent; " "log_format sent '\$bytes_sent';"
base="http://127.0.0.1:$port/p"
make_pages "$work/www" "$count"
for _ in $(seq 50); do curl -s -o /dev/null "${base}0" && break; sleep 0.1; done
curl -sf -o /dev/null "${base}0" || { echo "conditional_bench: nginx does not serve the pages" >&2; exit 1; }

data="$work/home/Calvorne/Wardlet"
"$bin/make_documents" "$data" "$base" "$count"
# Bytes logged since the last call (nginx writes its log line as each request ends).
sent_since() {
  local total
  total=$(awk '{ s += $1 } END { printf "%d", s }' "$log")
  : >"$log"
  echo "$total"
}
folder_state() { find "$data" -maxdepth 1 -type f -printf '%i %s %T@ %f\n' | sort -k4; }
sent_since >/dev/null
first=$(timed env XDG_DATA_HOME="$work/home" "$bin/wardctl" check --all)
first_bytes=$(sent_since)
folder_state >"$work/before"
second=$(timed env XDG_DATA_HOME="$work/home" "$bin/wardctl" check --all)
second_bytes=$(sent_since)
folder_state >"$work/after"

awk -v n="$count" -v a="$first_bytes" -v b="$second_bytes" -v s="$first" -v t="$second" 'BEGIN {
  printf "%d pages: first pass %d bytes sent by nginx in %.3fs, second pass %d bytes (%.2f%%) in %.3fs\n",
    n, a, s, b, 100 * b / a, t }'
touched=$(comm -3 <(sort "$work/before") <(sort "$work/after") | sed 's/^\t//' | cut -d' ' -f4- | sort -u)
copies=$(printf '%s\n' "$touched" | grep -c -e '\.content$' -e '\.middle$' -e '^Wardlet\.validators$' || true)
records=$(printf '%s\n' "$touched" | grep -c '\.data$' || true)
others=$(printf '%s\n' "$touched" | grep -v -e '^$' -e '\.content$' -e '\.middle$' -e '\.data$' \
  -e '^Wardlet\.validators$' || true)
echo "second pass touched: $copies copies or validator index, $records records (.data)${others:+, and: $others}"
