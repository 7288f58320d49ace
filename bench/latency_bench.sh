#!/usr/bin/env bash
# A pass as on a real network: COUNT pages of 10 KB over HTTPS on HOSTS servers (nginx, one port a
# host), each reached through bench/latency_relay.py, which holds every connection's set-up for a
# round trip and each direction's data for DELAY_MS. Side by side in one run:
# `wardctl check --all` (5 threads), the same with another build's wardctl when BASELINE names its
# bin folder (the commit before a change, built beside this one), and `xargs -P5 -n200 curl`
# keeping its connections, given the pages host by host (its best order). Medians of RUNS runs,
# and the connections nginx accepted in each tool's last run.
# Never run as a test.
#   bench/latency_bench.sh [COUNT]     default 1000; HOSTS=20 DELAY_MS=20 RUNS=3 BASELINE=
# Needs scripts/build.sh main; installs nginx-light, curl and openssl when they are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin="$top/build/main/bin"
count=${1:-1000}
hosts=${HOSTS:-20}
delay=${DELAY_MS:-20}
runs=${RUNS:-3}
baseline=${BASELINE:-}

source "$top/bench/bench_lib.sh"
ensure_packages nginx-light curl openssl
for tool in "$bin/wardctl" "$bin/make_documents" ${baseline:+"$baseline/wardctl"}; do
  [ -x "$tool" ] || { echo "latency_bench: $tool is missing (scripts/build.sh main)" >&2; exit 2; }
done

mkdir -p "$top/build"
work=$(mktemp -d "$top/build/latency-bench.XXXXXX")
chmod 755 "$work"  # nginx's workers run as www-data when started by root
pids=()
cleanup() { [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

# One certificate for 127.0.0.1, trusted by both clients through CURL_CA_BUNDLE, and by nothing
# else: wardctl trusts SSL_CERT_FILE as well, and a desktop's (often the system bundle) would
# have it read some 140 authorities that curl is not given.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export CURL_CA_BUNDLE="$work/cert.pem"
unset SSL_CERT_FILE
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

base=$((20000 + RANDOM % 20000))
servers="" pairs=() prefixes=()
for h in $(seq 0 $((hosts - 1))); do
  servers+="  server { listen 127.0.0.1:$((base + h)) ssl http2; root $work/www;
    ssl_certificate $work/cert.pem; ssl_certificate_key $work/key.pem;
    access_log $work/nginx/requests.log requests; }
"
  pairs+=("$((base + 100 + h)):$((base + h))")
  prefixes+=("https://127.0.0.1:$((base + 100 + h))/p")
done
write_nginx_conf "$work" "$servers" "keepalive_requests 100000; log_format requests '\$connection';"
nginx -c "$work/nginx.conf" -g 'daemon off;' &
pids+=($!)
/usr/bin/python3 "$top/bench/latency_relay.py" --delay-ms "$delay" "${pairs[@]}" >"$work/relay.out" \
  2>"$work/relay.log" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/relay.out" 2>/dev/null && break; sleep 0.1; done

make_pages "$work/www" "$count"
curl -sf -o /dev/null "${prefixes[0]}0" ||
  { echo "latency_bench: the pages cannot be fetched through the relay" >&2; exit 1; }
for h in $(seq 0 $((hosts - 1))); do
  for i in $(seq "$h" "$hosts" $((count - 1))); do echo "${prefixes[$h]}$i"; done
done >"$work/urls"

# Each wardctl gets its own data folder with its first copies stored.
prepare() {
  "$bin/make_documents" "$1/Calvorne/Wardlet" "${prefixes[0]}" "$count" "${prefixes[@]:1}"
  XDG_DATA_HOME="$1" "$2" check --all >/dev/null || true
}
prepare "$work/home" "$bin/wardctl"
[ -n "$baseline" ] && prepare "$work/home-baseline" "$baseline/wardctl"

# Connections nginx accepted since the last call (its log line names each request's connection).
connections() {
  sort -u "$work/nginx/requests.log" | wc -l
  : >"$work/nginx/requests.log"
}
w=() b=() c=()
for _ in $(seq "$runs"); do
  connections >/dev/null
  w+=("$(timed env XDG_DATA_HOME="$work/home" "$bin/wardctl" check --all)")
  wc_=$(connections)
  [ -n "$baseline" ] &&
    b+=("$(timed env XDG_DATA_HOME="$work/home-baseline" "$baseline/wardctl" check --all)")
  connections >/dev/null
  c+=("$(timed sh -c "xargs -P5 -n200 curl -s -o /dev/null <'$work/urls'")")
  cc_=$(connections)
done
wm=$(printf '%s\n' "${w[@]}" | median)
cm=$(printf '%s\n' "${c[@]}" | median)
printf '%d HTTPS pages on %d hosts, %d ms each way: wardctl check --all %.3fs   curl keeping connections %.3fs (%.2fx)\n' \
  "$count" "$hosts" "$delay" "$wm" "$cm" "$(awk -v w="$wm" -v c="$cm" 'BEGIN { print w / c }')"
echo "connections accepted by nginx in the last run: wardctl $wc_, curl $cc_"
if [ -n "$baseline" ]; then
  bm=$(printf '%s\n' "${b[@]}" | median)
  printf 'baseline wardctl %.3fs: this build takes %.2fx its time\n' "$bm" \
    "$(awk -v w="$wm" -v b="$bm" 'BEGIN { print w / b }')"
fi
