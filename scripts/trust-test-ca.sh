#!/usr/bin/env bash
# Makes the test certificates in $2 when they are not there yet
# (tests/support/make_certs.py) and has the Wine prefix at $1 trust their
# authority, as the current user's trusted root: so the Win32 tests can tell a
# genuine signature and server from untrusted ones. Only that prefix trusts it:
# the host's certificate store is untouched. A process sees the authority only
# if it was added before that process first checked a certificate, so this
# runs right after the prefix is made and before any test.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: trust-test-ca.sh PREFIX CERTDIR}")
certs=$(realpath -m "${2:?usage: trust-test-ca.sh PREFIX CERTDIR}")
python3 "$(dirname "$0")/../tests/support/make_certs.py" "$certs"

export WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
der=$certs/ca.der
# The system store's layout: the key is the certificate's SHA-1 in upper-case
# hex; the value holds one property, 0x20 (the encoded certificate), as id,
# 1 (the encoding's flags) and length, each 4 bytes little-endian, and then
# the DER bytes.
thumbprint=$(sha1sum "$der" | cut -d' ' -f1 | tr a-f A-F)
length=$(stat -c %s "$der")
blob=$( {
  printf '\x20\x00\x00\x00\x01\x00\x00\x00'
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((length & 255)) $((length >> 8 & 255)) \
    $((length >> 16 & 255)) $((length >> 24 & 255)))"
  cat "$der"
} | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//')

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\r\n"Blob"=hex:%s\r\n' \
  "$thumbprint" "$blob" >"$reg"
# Its Z: drive name, not winepath's answer: a first Wine program inside $(...)
# would start the session's services holding that pipe open.
wine reg import "Z:${reg//\//\\}" >/dev/null 2>&1
# reg answers 0 even when it imported nothing: look.
found=$(wine reg query "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint" 2>/dev/null || true)
# The Wine session started here ends before the tests start theirs: its
# services, started without the tests' display, would otherwise serve them.
wineserver -w
case $found in
  *Blob*) ;;
  *) echo "trust-test-ca.sh: the authority did not reach $prefix" >&2; exit 1 ;;
esac
