# Shared by the by-hand server checks (sourced, never run by itself).

# A certificate authority of our own in DIR (ca.pem, ca.key) and a server certificate signed by
# it (server.pem, server.key) for common name CN with subject alternative names SAN.
make_certificates() {
  local dir=$1 cn=$2 san=$3
  (cd "$dir" &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
      -subj '/CN=Wardlet check CA' &&
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=$cn" &&
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\n' "$san" >ext &&
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
      -days 2 -extfile ext) >/dev/null 2>&1
}
