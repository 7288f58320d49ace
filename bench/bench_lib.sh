# Shared by the benchmark scripts (sourced, never run by itself).

# Seconds one run of the command takes.
timed() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Ends the bench NAME unless every TOOL named is built.
require_built() {
  local name=$1 tool
  shift
  for tool in "$@"; do
    [ -x "$tool" ] || { echo "$name: build first (scripts/build.sh main)" >&2; exit 2; }
  done
}
# Installs the Debian packages named that are missing (as root, or through sudo).
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
}
# Writes WORK/nginx.conf for an nginx of the bench's own, its files under WORK/nginx, serving
# WORK/www: the http block's SERVERS (server blocks) and EXTRA directives are the caller's.
write_nginx_conf() {
  local work=$1 servers=$2 extra=${3:-}
  mkdir -p "$work/www" "$work/nginx"
  cat >"$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  $extra
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
$servers
}
CONF
}
# A work folder build/NAME.XXXXXX for one run, removed at exit with the nginx start_nginx started
# ($top is the caller's tree).
make_work_folder() {
  mkdir -p "$top/build"
  work=$(mktemp -d "$top/build/$1.XXXXXX")
  chmod 755 "$work"  # nginx's workers run as www-data when started by root
  nginx_pid=""
  trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"' EXIT
}
# nginx on a random loopback port serving $work/www, with SERVER (directives of its server block)
# and HTTP (of the http block) added; sets $port and $nginx_pid once it answers.
start_nginx() {
  port=$((20000 + RANDOM % 20000))
  write_nginx_conf "$work" "  server { listen 127.0.0.1:$port; root $work/www; ${1:-}}" "${2:-}"
  nginx -c "$work/nginx.conf" -g 'daemon off;' &
  nginx_pid=$!
  local _
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
}
# COUNT pages of 10 KB of random text, named p0, p1, ..., in FOLDER.
make_pages() {
  python3 -c 'import base64, os, sys
for i in range(int(sys.argv[2])):
    with open(os.path.join(sys.argv[1], "p%d" % i), "wb") as f:
        f.write(base64.encodebytes(os.urandom(7680))[:10240])' "$1" "$2"
}
