#!/usr/bin/env bash
# The pelm tool end to end: round trips, key sources, every failure's exit
# status and message, and --out never leaving a partial file.
# Usage: pelm_test.sh [EMULATOR...] PATH_TO_PELM
set -uo pipefail
pelm=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
key=603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4
iv=000102030405060708090a0b0c0d0e0f
passed=0 failed=0

check() {  # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

# run ARGS... : status in $status, output in $work/out, errors in $work/err
run() {
  "${pelm[@]}" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

# Round trips, binary data and NUL bytes included for seal/open.
head -c 100000 /dev/urandom >"$work/data"
printf 'a\0b\0' >>"$work/data"
run seal --key "$key" --iv "$iv" --in "$work/data"
check "seal exits 0" test "$status" -eq 0
cp "$work/out" "$work/envelope"
check "an envelope is one Base64 line" grep -qE '^[A-Za-z0-9+/]+=*$' "$work/envelope"
run open --key "$key" --iv "$iv" --in "$work/envelope"
check "open gives the bytes back" cmp -s "$work/out" "$work/data"
printf '%s\n' "$(cat "$work/envelope")" >"$work/envelope_nl"
run open --key "$key" --iv "$iv" --in "$work/envelope_nl"
check "open takes an envelope ending in a line break" cmp -s "$work/out" "$work/data"

printf 'Grüße, 日本語 and tabs\tand lines\n' >"$work/text"
run encrypt --key "a raw 16-byte key" --iv "and a raw IV, 16" --in "$work/text"
check "encrypt exits 0" test "$status" -eq 0
check "encrypt writes lowercase hex" grep -qE '^[0-9a-f]+$' "$work/out"
cp "$work/out" "$work/hex"
run decrypt --key "a raw 16-byte key" --iv "and a raw IV, 16" --in "$work/hex"
check "decrypt gives the text back" cmp -s "$work/out" "$work/text"
printf '%s\n' "$(cat "$work/hex")" >"$work/hex_nl"
run decrypt --key "a raw 16-byte key" --iv "and a raw IV, 16" --in "$work/hex_nl"
check "decrypt drops the hex's final line break" cmp -s "$work/out" "$work/text"

# Key sources: a file (final line break dropped), the environment.
echo "$key" >"$work/key"
echo "$iv" >"$work/iv"
run seal --key-file "$work/key" --iv-file "$work/iv" --in "$work/data"
check "key files give the same envelope" cmp -s "$work/out" "$work/envelope"
PELM_KEY=$key PELM_IV=$iv "${pelm[@]}" seal --in "$work/data" >"$work/out"
check "PELM_KEY and PELM_IV give the same envelope" cmp -s "$work/out" "$work/envelope"
PELM_KEY="1${key:1}" PELM_IV="1${iv:1}" "${pelm[@]}" seal --key "$key" --iv "$iv" --in "$work/data" >"$work/out"
check "--key and --iv win over PELM_KEY and PELM_IV" cmp -s "$work/out" "$work/envelope"
echo -n hello | "${pelm[@]}" seal --key "$key" --iv "$iv" >"$work/out"
check "data from standard input, no line break added off a terminal" \
  test "$(echo -n hello | "${pelm[@]}" seal --key "$key" --iv "$iv" | "${pelm[@]}" open --key "$key" --iv "$iv")" = hello

# Failures: exit status and the library's own reason.
expect_failure() {  # NAME STATUS MESSAGE ARGS... (data from $work/stdin)
  local name=$1 want_status=$2 want_message=$3
  shift 3
  "${pelm[@]}" "$@" <"$work/stdin" >"$work/out" 2>"$work/err"
  status=$?
  check "$name: exit $want_status" test "$status" -eq "$want_status"
  check "$name: says '$want_message'" grep -qF -e "$want_message" "$work/err"
  check "$name: writes nothing" test ! -s "$work/out"
}
echo -n 'some text' >"$work/stdin"
expect_failure "no command" 2 "no command given"
expect_failure "unknown command" 2 "unknown command frob" frob --key "$key" --iv "$iv"
expect_failure "unknown option" 2 "unknown option --frob" seal --frob
expect_failure "no key" 2 "no key" seal --iv "$iv"
expect_failure "option without value" 2 "--in needs a value" seal --key "$key" --iv "$iv" --in
expect_failure "short key text" 1 "seal failed: Input error" seal --key "${key:1}" --iv "$iv"
expect_failure "not Base64" 1 "open failed: base64 error" open --key "$key" --iv "$iv"
cp "$work/envelope" "$work/stdin"
expect_failure "wrong key" 1 "open failed: CV_ERR: name Corvane_DYNAMIC_ENCRYPT_ERR, code -10001" \
  open --key "1${key:1}" --iv "$iv"
expect_failure "not hex" 1 "decrypt failed" decrypt --key "a raw 16-byte key" --iv "and a raw IV, 16"
expect_failure "short raw key" 1 "at least 16 bytes" encrypt --key "short" --iv "and a raw IV, 16"
printf 'a\0b' >"$work/stdin"
expect_failure "NUL in a text to encrypt" 1 "zero byte" encrypt --key "a raw 16-byte key" --iv "and a raw IV, 16"
expect_failure "missing input file" 1 "cannot read the input" seal --key "$key" --iv "$iv" --in "$work/none"

# The largest text the library opens seals quietly; one byte more warns, and
# opening that says why it fails.
head -c 16772159 /dev/zero >"$work/largest"
run seal --key "$key" --iv "$iv" --in "$work/largest" --out "$work/largest_envelope"
check "the largest openable text seals" test "$status" -eq 0
check "the largest openable text seals without a warning" test ! -s "$work/err"
run open --key "$key" --iv "$iv" --in "$work/largest_envelope" --out "$work/largest_opened"
check "the largest openable text opens" cmp -s "$work/largest_opened" "$work/largest"
head -c 16772160 /dev/zero >"$work/huge"
run seal --key "$key" --iv "$iv" --in "$work/huge" --out "$work/huge_envelope"
check "an over-large text still seals" test "$status" -eq 0
check "sealing it warns about the opening limit" grep -q "at most 16772159 bytes" "$work/err"
run open --key "$key" --iv "$iv" --in "$work/huge_envelope"
check "opening it fails" test "$status" -eq 1
check "opening it names the limit" grep -q "gzip error (.*16772159" "$work/err"

# --out: whole or nothing.
echo -n 'not base64!' >"$work/stdin"
run open --key "$key" --iv "$iv" --in "$work/stdin" --out "$work/result"
check "failed open exits 1" test "$status" -eq 1
check "failed open leaves no --out file" test ! -e "$work/result"
check "failed open leaves no temporary file" test -z "$(find "$work" -name 'result.*')"
mkdir "$work/a_folder"
run open --key "$key" --iv "$iv" --in "$work/envelope" --out "$work/a_folder"
check "--out naming a folder fails" test "$status" -eq 1
check "--out naming a folder leaves no temporary file" test -z "$(find "$work" -name 'a_folder.*')"
run open --key "$key" --iv "$iv" --in "$work/envelope" --out "$work/result"
check "open --out writes the data" cmp -s "$work/result" "$work/data"
check "--out writes nothing to standard output" test ! -s "$work/out"

run --help
check "--help exits 0 and warns about command lines" grep -q "visible to" "$work/out"
run --version
check "--version names the version, the AES path and the provider" grep -qE '^pelm [0-9]+\.[0-9]+\.[0-9]+ .*AES on this CPU: .*; envelope AES-256 and Base64: (builtin|openssl|boringssl)' "$work/out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
