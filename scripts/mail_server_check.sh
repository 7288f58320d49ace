#!/usr/bin/env bash
# Sends queued notifications with Wardpost through a real mail server on loopback, for a person
# to rerun (CI does not run it). A private Postfix instance (its own folder under /tmp, the
# system's Postfix settings untouched) takes mail only after STARTTLS on port 10587 and with
# implicit TLS on 10465, only from a logged-in user (Cyrus SASL, AUTH LOGIN/PLAIN), and relays
# it to Postfix's smtp-sink on 10026, which writes each mail into a file; on 10025 it offers no
# TLS at all, as a port-25 server without STARTTLS (or one whose STARTTLS was stripped) does. The
# check passes when both TLS mails arrived with their logins over TLS, Wardpost sent no password
# to 10025 and kept that entry, and sent it only when the server was named smtp+insecure://.
#   sudo scripts/mail_server_check.sh      after scripts/build.sh main
# Runs as root: it installs postfix, sasl2-bin and libsasl2-modules when missing (their own
# Postfix service is not started by this script) and runs Postfix's master in the foreground,
# stopped again at the end. Ports 10025, 10587, 10465 and 10026 on 127.0.0.1 must be free.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/check_lib.sh"
wardpost=$top/build/main/bin/Wardpost
[ -x "$wardpost" ] || { echo "mail_server_check: build first (scripts/build.sh main)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "mail_server_check: run as root" >&2; exit 2; }
missing=()
for p in postfix sasl2-bin libsasl2-modules; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d /tmp/wardlet-mail-check.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*; Postfix said:" >&2
  cat "$work/maillog" >&2 || true
  exit 1
}

# A certificate authority of our own, and a server certificate for localhost signed by it.
make_certificates "$work" localhost DNS:localhost
chmod 600 "$work/server.key"

# The account, in a SASL database of this instance only.
user=wardlet-check
password="s3cret pass"
mkdir -p "$work/conf/sasl"  # where Postfix has Cyrus SASL look for smtpd.conf
printf 'pwcheck_method: auxprop\nauxprop_plugin: sasldb\nmech_list: PLAIN LOGIN\nsasldb_path: %s\n' \
  "$work/sasldb2" >"$work/conf/sasl/smtpd.conf"
printf '%s' "$password" | saslpasswd2 -p -f "$work/sasldb2" -c -u localhost "$user"
chown postfix "$work/sasldb2"

mkdir "$work/queue" "$work/data" "$work/sink"
chown postfix "$work/data"
chmod 777 "$work/sink"
cat >"$work/conf/main.cf" <<EOF
compatibility_level = 3.6
queue_directory = $work/queue
data_directory = $work/data
meta_directory = /etc/postfix
maillog_file = /dev/stdout
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
myhostname = localhost
mydestination =
mynetworks =
relayhost = [127.0.0.1]:10026
smtp_tls_security_level = none
smtpd_tls_cert_file = $work/server.pem
smtpd_tls_key_file = $work/server.key
smtpd_tls_security_level = encrypt
smtpd_tls_auth_only = yes
smtpd_tls_loglevel = 1
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = cyrus
smtpd_sasl_path = smtpd
smtpd_sasl_local_domain = localhost
smtpd_relay_restrictions = permit_sasl_authenticated, reject
EOF
cat >"$work/conf/master.cf" <<'EOF'
127.0.0.1:10587 inet n - n - - smtpd
127.0.0.1:10465 inet n - n - - smtpd -o smtpd_tls_wrappermode=yes
127.0.0.1:10025 inet n - n - - smtpd -o smtpd_tls_security_level=none -o smtpd_tls_auth_only=no
pickup unix n - n 60 1 pickup
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
tlsmgr unix - - n 1000? 1 tlsmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
verify unix - - n - 1 verify
flush unix n - n 1000? 0 flush
proxymap unix - - n - - proxymap
smtp unix - - n - - smtp
relay unix - - n - - smtp
showq unix n - n - - showq
error unix - - n - - error
retry unix - - n - - error
discard unix - - n - - discard
anvil unix - - n - 1 anvil
scache unix - - n - 1 scache
postlog unix-dgram n - n - 1 postlogd
EOF
export MAIL_CONFIG=$work/conf
/usr/lib/postfix/sbin/post-install config_directory="$work/conf" meta_directory=/etc/postfix \
  create-missing

# The last hop writes every mail it gets into a file of its own.
smtp-sink -u nobody -d "$work/sink/%M." 127.0.0.1:10026 10 &
pids+=($!)
/usr/lib/postfix/sbin/master -c "$work/conf" -d >"$work/maillog" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/10587) 2>/dev/null && break
  sleep 0.2
done
unset MAIL_CONFIG

# Wardpost's settings as the monitor writes them (the 496-byte record) and one queued entry;
# in normal mode Wardpost sends, removes what it delivered and closes by itself.
send_queue() {
  local server=$1 name=$2 expect=${3:-sent}
  local home=$work/home-$name
  local data=$home/Calvorne/Wardlet
  mkdir -p "$data"
  /usr/bin/python3 - "$data" "$server" "$user" "$password" "$name" <<'EOF'
import struct, sys
data, server, user, password, name = sys.argv[1:]
field = lambda text: text.encode().ljust(80, b"\0")
record = struct.pack("<iii", 1, 1, 1) + field(user) + field(password) + field(server)
record += field("owner@example.test") + field("") + field("") + struct.pack("<i", 0)
assert len(record) == 496
open(data + "/Wardlet.mail", "wb").write(record)
entry = "2012/01/05 [09:03:07] Changed: Pr\u00fcfung %s\r\r\nhttps://example.test/%s\r\r\n\r\r\n"
open(data + "/Wardpost.msg", "wb").write((entry % (name, name)).encode())
EOF
  XDG_DATA_HOME=$home SSL_CERT_FILE=$work/ca.pem QT_QPA_PLATFORM=offscreen WARDLET_DEBUG=1 \
    timeout 60 "$wardpost" /from_wardlet 2>"$work/wardpost-$name.log" || true
  if [ "$expect" = kept ]; then
    [ -e "$data/Wardpost.msg" ] || fail "$server: the entry was not kept"
  else
    [ ! -e "$data/Wardpost.msg" ] || fail "$server: the entry is still queued"
  fi
}

send_queue "localhost:10587" starttls
send_queue "smtps://localhost:10465" implicit
send_queue "localhost:10025" notls kept
grep -q 'The server offers no encryption, so the password was not sent.' "$work/wardpost-notls.log" ||
  fail "no word from Wardpost about the password held back"
send_queue "smtp+insecure://localhost:10025" insecure

# Postfix hands the mails on within moments.
for _ in $(seq 100); do
  [ "$(cat "$work"/sink/* 2>/dev/null | grep -c '^Subject: Wardlet Email Notification')" -ge 3 ] &&
    break
  sleep 0.2
done
mails=$(cat "$work"/sink/* 2>/dev/null || true)
[ "$(grep -c '^Subject: Wardlet Email Notification' <<<"$mails")" -ge 3 ] ||
  fail "the three mails did not arrive"
grep -q 'https://example.test/starttls' <<<"$mails" || fail "the STARTTLS mail lost its entry"
grep -q 'https://example.test/implicit' <<<"$mails" || fail "the TLS mail lost its entry"
grep -q 'https://example.test/insecure' <<<"$mails" || fail "the smtp+insecure:// mail did not arrive"
! grep -q 'https://example.test/notls' <<<"$mails" || fail "the mail without a login went out"
# Exactly three logins: the two over TLS and the one smtp+insecure:// allowed.
[ "$(grep -c "sasl_method=LOGIN, sasl_username=$user" "$work/maillog")" -eq 3 ] ||
  fail "not three logins in Postfix's log"
[ "$(grep -c 'TLS connection established from' "$work/maillog")" -ge 2 ] ||
  fail "no two TLS connections in Postfix's log"
echo "mail_server_check: mails went through Postfix with AUTH over STARTTLS (10587) and TLS (10465);"
echo "mail_server_check: no password to 10025 without TLS (entry kept), sent only as smtp+insecure://"
