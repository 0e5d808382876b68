#!/usr/bin/env bash
# A throw-away PKI for the release test, valid for two days, in DIR:
#   make_pki.sh DIR
# root.crt; chain.pem (intermediate and root); tsa.crt and tsa.key for
# timestamp_server.py; and, locked with DIR/password, signer.p12, tls.p12 (no
# code-signing usage), expired.p12 and legacy.p12 (signer.p12 in RC2-40, as
# older Windows exports it).
set -euo pipefail

dir=${1:?usage: make_pki.sh DIR}
mkdir -p "$dir/issued"
cp "$(dirname "$0")/pki.cnf" "$dir/"
cd "$dir"
: >index.txt
echo 1000 >ca-serial
echo 01 >tsa-serial

# Wine 8 checks RSA certificate signatures; it gives 0x80096004 for ECDSA ones.
key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }
csr() { openssl req -new -config pki.cnf -key "$1.key" -subj "$2" -out "$1.csr"; }
issue() { # NAME CSR ISSUER EXTENSIONS
  openssl x509 -req -in "$2.csr" -CA "$3.crt" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days 2 -extfile pki.cnf -extensions "$4" -out "$1.crt" 2>/dev/null
}
key root
openssl req -x509 -new -config pki.cnf -key root.key -subj '/CN=Release Test Root CA' -days 2 \
  -extensions root_ext -out root.crt
key intermediate
csr intermediate '/CN=Release Test Intermediate CA'
issue intermediate intermediate root intermediate_ext
key signer
csr signer '/O=Release Test/CN=Release Test Signer'
issue signer signer intermediate signer_ext
issue tls signer intermediate tls_ext
openssl ca -batch -config pki.cnf -notext -in signer.csr -cert intermediate.crt -keyfile intermediate.key \
  -startdate 20200101000000Z -enddate 20200201000000Z -extensions signer_ext -extfile pki.cnf \
  -out expired.crt 2>/dev/null
key tsa
csr tsa '/CN=Release Test Timestamps'
issue tsa tsa root tsa_ext
cat intermediate.crt root.crt >chain.pem

# A password with spaces, quotes and a dollar, ending in a newline like most files.
printf '%s\n' "no space \"left\" \$HOME" >password
for leaf in signer tls expired; do
  openssl pkcs12 -export -inkey signer.key -in "$leaf.crt" -certfile chain.pem -name "$leaf" \
    -passout file:password -out "$leaf.p12"
done
openssl pkcs12 -export -legacy -inkey signer.key -in signer.crt -certfile chain.pem -name legacy \
  -passout file:password -out legacy.p12
