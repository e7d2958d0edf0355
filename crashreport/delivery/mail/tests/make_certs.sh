#!/bin/sh
# Makes a test certificate authority and two server certificates in $1:
# server.pem for 127.0.0.1 and other.pem for the name other.test only.
set -e
cd "$1"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -keyout ca.key -out ca.pem -subj "/CN=Mail Test CA" 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -keyout stranger-ca.key -out stranger-ca.pem -subj "/CN=Stranger CA" 2>/dev/null
for name in server other; do
    if [ $name = server ]; then san="IP:127.0.0.1"; else san="DNS:other.test"; fi
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
        -keyout $name.key -out $name.csr -subj "/CN=$name" 2>/dev/null
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\n' "$san" > $name.ext
    openssl x509 -req -in $name.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -out $name.pem -extfile $name.ext 2>/dev/null
done
