#!/usr/bin/env bash
# A library built with the builtin provider needs no libcrypto: its dynamic
# section names zlib and liblog and nothing of OpenSSL or BoringSSL.
# Usage: check_no_libcrypto.sh LIBRARY [READELF]
set -euo pipefail
needed=$("${2:-readelf}" -d "$1" | awk '/\(NEEDED\)/ { print $NF }')
echo "NEEDED: $(echo $needed)"
grep -q 'libz\.so' <<<"$needed" || { echo "no zlib among the needed libraries: cannot trust this listing"; exit 1; }
if grep -qiE 'libcrypto|libssl' <<<"$needed"; then
  echo "a builtin build must not need libcrypto"
  exit 1
fi
echo OK
