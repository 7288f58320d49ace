#!/usr/bin/env bash
# Checks documents with wardctl against real Debian servers on loopback, for a person to rerun
# (CI does not run it). Private instances under /tmp, the system's own settings and services
# untouched, all stopped at the end:
#   vsftpd  10021 plain FTP, 10022 TLS required for logins and data (force_local_logins_ssl),
#           10023 passive only (port_enable=NO);
#   nginx   10443 HTTPS with HTTP/2, a page sent gzip-compressed (gzip_static always) and plain;
#   Postfix through scripts/mail_server_check.sh (STARTTLS, implicit TLS, and no TLS at all).
#   sudo scripts/server_check.sh      after scripts/build.sh main
# Runs as root: installs vsftpd and nginx when missing (without starting their services), and
# adds a local user for the FTP logins, removed again at the end. Ports 10021-10023, 10443 and
# 10100-10110 on 127.0.0.1 must be free.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/check_lib.sh"
wardctl=$top/build/main/bin/wardctl
[ -x "$wardctl" ] || { echo "server_check: build first (scripts/build.sh main)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "server_check: run as root" >&2; exit 2; }
missing=()
for p in vsftpd nginx openssl; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # Installed only: their services must not start on the usual ports.
  own_policy=
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    own_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  [ -z "$own_policy" ] || rm -f /usr/sbin/policy-rc.d
fi

work=$(mktemp -d /tmp/wardlet-server-check.XXXXXX)
chmod 755 "$work"
user=wardlet-ftp-check
password="s3cret-pass"
pids=()
failures=0
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  userdel "$user" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
pass() { echo "PASS: $*"; }
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A certificate authority of our own, and a server certificate for 127.0.0.1 signed by it.
make_certificates "$work" 127.0.0.1 IP:127.0.0.1,DNS:localhost
chmod 644 "$work/server.key"  # nginx's workers run as nobody

wait_port() {
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.2
  done
  echo "server_check: nothing listens on port $1" >&2
  return 1
}

# --- vsftpd -------------------------------------------------------------------------------------
useradd -M -d "$work/ftp" -s /bin/sh "$user"
printf '%s:%s\n' "$user" "$password" | chpasswd
mkdir -p "$work/ftp/pub" "$work/empty"
printf 'the file over FTP\n' >"$work/ftp/f.txt"
chown -R "$user" "$work/ftp"

vsftpd_instance() {  # NAME PORT PASV_FIRST_PORT extra settings...
  local name=$1 port=$2 pasv=$3
  shift 3
  {
    printf 'listen=YES\nlisten_address=127.0.0.1\nlisten_port=%s\nbackground=NO\n' "$port"
    printf 'anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=NO\npam_service_name=vsftpd\n'
    printf 'secure_chroot_dir=%s\nseccomp_sandbox=NO\n' "$work/empty"
    printf 'pasv_min_port=%s\npasv_max_port=%s\n' "$pasv" "$((pasv + 4))"
    printf 'log_ftp_protocol=YES\nxferlog_enable=YES\nxferlog_std_format=NO\n'
    printf 'vsftpd_log_file=%s\n' "$work/vsftpd-$name.log"
    printf '%s\n' "$@"
  } >"$work/vsftpd-$name.conf"
  : >"$work/vsftpd-$name.log"
  vsftpd "$work/vsftpd-$name.conf" &
  pids+=($!)
  wait_port "$port"
}
tls=("ssl_enable=YES" "rsa_cert_file=$work/server.pem" "rsa_private_key_file=$work/server.key")
vsftpd_instance plain 10021 10100
vsftpd_instance tls 10022 10105 "${tls[@]}" force_local_logins_ssl=YES force_local_data_ssl=YES
vsftpd_instance passive 10023 10110 port_enable=NO

# --- nginx --------------------------------------------------------------------------------------
mkdir -p "$work/nginx/logs" "$work/www/z"
page='<ul><li>one</li><li>two</li></ul> [b]42[/b]'
printf '%s' "$page" >"$work/www/page.html"
printf '%s' "$page" >"$work/www/z/page.html"
gzip -k -9 "$work/www/z/page.html"
chmod -R a+rX "$work/www"
cat >"$work/nginx/nginx.conf" <<EOF
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events {}
http {
  log_format check '\$request_uri \$server_protocol \$status \$sent_http_content_encoding';
  access_log $work/nginx/logs/access.log check;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:10443 ssl http2;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    root $work/www;
    location /z/ { gzip_static always; }
  }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)
wait_port 10443

# --- the checks ---------------------------------------------------------------------------------
export XDG_DATA_HOME=$work/home SSL_CERT_FILE=$work/ca.pem WARDLET_DEBUG=1
unset CURL_CA_BUNDLE
mkdir -p "$XDG_DATA_HOME"
account=(--user "$user" --password "$password")
add() { "$wardctl" add "$@" >/dev/null; }
# Checks one document; its debug lines go to $work/NAME.debug. Prints its status text.
check() {
  "$wardctl" check "$1" 2>"$work/$1.debug" >"$work/$1.out" || true
  cut -f2 "$work/$1.out"
}
field() { "$wardctl" show "$1" | sed -n "s/^$2: //p"; }

add --type ftp-file --name ftps-to-plain --location ftps://127.0.0.1:10021/f.txt "${account[@]}"
status=$(check ftps-to-plain)
if [ "$status" = "** Unable to retrieve" ] && ! grep -q '"USER' "$work/vsftpd-plain.log"; then
  pass "ftps:// to a server without TLS: Unable, no USER sent ($(grep -o 'AUTH TLS: .*' "$work/ftps-to-plain.debug" | head -1))"
else
  fail "ftps:// to plain vsftpd: status '$status' or USER in the log"
fi

add --type ftp-file --name plain --location ftp://127.0.0.1:10021/f.txt "${account[@]}"
[ "$(check plain)" = "Ready" ] && pass "plain FTP with an account" || fail "plain FTP: $(cat "$work/plain.debug")"

add --type ftp-file --name tls --location ftps://127.0.0.1:10022/f.txt "${account[@]}"
status=$(check tls)
if [ "$status" = "Ready" ] && grep -q 'AUTH TLS' "$work/vsftpd-tls.log" &&
   [ "$(grep -n 'AUTH TLS' "$work/vsftpd-tls.log" | head -1 | cut -d: -f1)" -lt \
     "$(grep -n '"USER' "$work/vsftpd-tls.log" | head -1 | cut -d: -f1)" ] &&
   grep -q 'PROT P' "$work/vsftpd-tls.log"; then
  pass "ftps:// to vsftpd with TLS required: Ready, AUTH TLS before USER, PROT P ($(grep -o '[a-z]* data connection' "$work/tls.debug" | tail -1))"
else
  fail "ftps:// to TLS-required vsftpd: status '$status'; $(cat "$work/tls.debug")"
fi

add --type ftp-file --name tls-as-plain --location ftp://127.0.0.1:10022/f.txt "${account[@]}"
status=$(check tls-as-plain)
reason=$(grep -o 'USER: 530.*' "$work/tls-as-plain.debug" | head -1 || true)
[ "$status" = "** Unable to retrieve" ] && [ -n "$reason" ] &&
  pass "ftp:// to vsftpd with TLS required: Unable, reason \"$reason\"" ||
  fail "ftp:// to TLS-required vsftpd: '$status'; $(cat "$work/tls-as-plain.debug")"

add --type ftp-file --name passive --location ftp://127.0.0.1:10023/f.txt "${account[@]}"
status=$(check passive)
[ "$status" = "Ready" ] && grep -q 'passive data connection' "$work/passive.debug" &&
  pass "passive-only vsftpd: Ready after the active attempt" ||
  fail "passive-only vsftpd: '$status'; $(cat "$work/passive.debug")"

add --type ftp-file --name missing --location ftp://127.0.0.1:10021/pub/x.zip "${account[@]}"
status=$(check missing)
reason=$(grep -o 'RETR pub/x.zip: 550.*' "$work/missing.debug" | head -1 || true)
[ "$status" = "** Unable to retrieve" ] && [ -n "$reason" ] &&
  pass "a missing file: \"$reason\"" || fail "missing file: '$status'; $(cat "$work/missing.debug")"

add --type web-page --name https --location https://127.0.0.1:10443/page.html
status=$(check https)
[ "$status" = "Ready" ] && grep -q '^/page.html HTTP/2.0 200' "$work/nginx/logs/access.log" &&
  pass "HTTPS over HTTP/2 with SSL_CERT_FILE" || fail "HTTPS page: '$status'; $(cat "$work/https.debug")"

add --type web-page --name gzip --location https://127.0.0.1:10443/z/page.html
add --type web-page --name gzip-count --location https://127.0.0.1:10443/z/page.html --count '<li>'
add --type web-page --name gzip-middle --location https://127.0.0.1:10443/z/page.html \
  --middle '[b]' '[/b]'
# All three in one pass (added documents wait for their first check, so one pass takes them all).
gzip_round() {
  "$wardctl" check gzip gzip-count gzip-middle 2>"$work/gzip.debug" >"$work/gzip.out" || true
  for name in gzip gzip-count gzip-middle; do
    [ "$(awk -F'\t' -v n="$name" '$1 == n {print $2}' "$work/gzip.out")" = "$1" ] ||
      why+=" $name not $1;"
  done
}
why=
gzip_round Ready
[ "$(field gzip-count lastCount)" = 2 ] || why+=" count $(field gzip-count lastCount);"
grep -q '^/z/page.html HTTP/2.0 200 gzip' "$work/nginx/logs/access.log" || why+=" not sent gzip;"
cmp -s "$XDG_DATA_HOME/Calvorne/Wardlet/gzip.content" "$work/www/z/page.html" ||
  why+=" stored copy differs;"
[ -z "$why" ] && pass "gzip_static always: stored decoded, count 2, middle found" ||
  fail "gzip page:$why $(cat "$work/gzip.debug")"
rm "$work/www/z/page.html.gz"  # the same text, now plain
why=
gzip_round Checked
[ -z "$why" ] && pass "gzip to plain with the same text: no change for any method" ||
  fail "gzip to plain:$why"

echo "--- Postfix (scripts/mail_server_check.sh)"
unset XDG_DATA_HOME SSL_CERT_FILE WARDLET_DEBUG
"$top/scripts/mail_server_check.sh" || fail "mail_server_check.sh"

[ "$failures" -eq 0 ] || { echo "server_check: $failures failed" >&2; exit 1; }
echo "server_check: all passed"
