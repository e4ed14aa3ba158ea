#!/usr/bin/env bash
# Makes the installer fixtures of the installer verification tests from one
# program: a test root certificate (the tests trust it inside their own Wine
# prefix only) and copies of the program signed by a publisher under that root,
# not signed, signed and then changed, signed under a root nobody trusts, and
# signed by a certificate that signs itself.
# Usage: make_signed_installers.sh <program.exe> <output folder>
set -euo pipefail
program=$1
out=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

make_root() {  # name, subject
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 3650 \
    -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
}
make_signer() {  # name, subject, root name
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.csr" -subj "/CN=$2" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$work/signer.ext"
  openssl x509 -req -in "$work/$1.csr" -CA "$work/$3.pem" -CAkey "$work/$3.key" -CAcreateserial \
    -out "$work/$1.pem" -days 3650 -extfile "$work/signer.ext" 2>/dev/null
}
sign() {  # signer name, output
  osslsigncode sign -certs "$work/$1.pem" -key "$work/$1.key" -h sha256 -n "Test installer" \
    -in "$program" -out "$2" >/dev/null
}

make_root root "Tarvolin Test Root"
make_signer publisher "Tarvolin Test Publisher" root
make_root stranger_root "Unknown Test Root"
make_signer stranger "Unknown Test Publisher" stranger_root
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/self.key" -out "$work/self.pem" -days 3650 \
  -subj "/CN=Self-signed Test Publisher" -addext "extendedKeyUsage=codeSigning" 2>/dev/null

openssl x509 -in "$work/root.pem" -outform der -out "$out/root.der"
cp "$program" "$out/unsigned.exe"
sign publisher "$out/signed.exe"
sign stranger "$out/untrusted-root.exe"
sign self "$out/self-signed.exe"
# One byte of the signed program's code changed after signing.
cp "$out/signed.exe" "$out/tampered.exe"
printf '\x90' | dd of="$out/tampered.exe" bs=1 seek=1100 conv=notrunc status=none
cmp -s "$out/signed.exe" "$out/tampered.exe" && { echo "tampering changed nothing" >&2; exit 1; }
touch "$out/stamp"
