#!/usr/bin/env bash
# The pelm tool end to end: round trips, key sources, every failure's exit
# status and message, refusals of what could not be opened, and --out
# writing the file a name leads to, whole or not at all.
# Usage: pelm_test.sh [EMULATOR...] PATH_TO_PELM
set -uo pipefail
pelm=("$@")
emulated=$(( $# > 1 ))
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
expect_failure "short key text" 1 \
  "seal failed: the key text must be 64 hex digits and the IV text 32; they are 63 and 32 characters (Input error)" \
  seal --key "${key:1}" --iv "$iv"
expect_failure "not Base64" 1 "open failed: not an envelope: not one line of standard Base64 (base64 error)" \
  open --key "$key" --iv "$iv"
echo -n '====' >"$work/stdin"
expect_failure "a payload of 4 bytes or fewer" 1 "open failed: too short to be an envelope" \
  open --key "$key" --iv "$iv"
cp "$work/envelope" "$work/stdin"
expect_failure "wrong key" 1 \
  "open failed: wrong key or IV, or a damaged envelope (CV_ERR: name Corvane_DYNAMIC_ENCRYPT_ERR, code -10001)" \
  open --key "1${key:1}" --iv "$iv"
echo -n 'some text' >"$work/stdin"
env -u PELM_TEXT_KEY PELM_KEY=$key PELM_IV=$iv PELM_TEXT_IV="and a raw IV, 16" \
  "${pelm[@]}" encrypt <"$work/stdin" >"$work/out" 2>"$work/err"
check "encrypt never takes PELM_KEY: exit 2" test $? -eq 2
check "encrypt never takes PELM_KEY: names PELM_TEXT_KEY" grep -qF "no key: give --key-file, --key or PELM_TEXT_KEY" "$work/err"
check "encrypt never takes PELM_KEY: writes nothing" test ! -s "$work/out"
PELM_TEXT_KEY="a raw 16-byte key" PELM_TEXT_IV="and a raw IV, 16" PELM_KEY=$key PELM_IV=$iv \
  "${pelm[@]}" encrypt --in "$work/text" >"$work/out"
check "PELM_TEXT_KEY and PELM_TEXT_IV give the same hex" cmp -s "$work/out" "$work/hex"
expect_failure "not hex" 1 "decrypt failed" decrypt --key "a raw 16-byte key" --iv "and a raw IV, 16"
expect_failure "short raw key" 1 "at least 16 bytes" encrypt --key "short" --iv "and a raw IV, 16"
printf 'a\0b' >"$work/stdin"
expect_failure "NUL in a text to encrypt" 1 "zero byte" encrypt --key "a raw 16-byte key" --iv "and a raw IV, 16"
expect_failure "missing input file" 1 "cannot read the input" seal --key "$key" --iv "$iv" --in "$work/none"

# Key texts that are not hex seal (peers may rely on the lenient decoding),
# with a warning.
run seal --key "${key:0:62}1g" --iv "$iv" --in "$work/text"
check "a non-hex key text seals" test "$status" -eq 0
check "a non-hex key text warns" grep -qF "warning: the key text holds characters that are not hex digits" "$work/err"
run seal --key "$key" --iv "${iv:0:31}z" --in "$work/text"
check "a non-hex IV text warns" grep -qF "warning: the IV text holds characters that are not hex digits" "$work/err"

# The largest text the library opens seals quietly; one byte more is
# refused, and so is data whose zlib stream is over the limit, unless
# --force, which warns; opening such an envelope says why it fails.
head -c 16772159 /dev/zero >"$work/largest"
run seal --key "$key" --iv "$iv" --in "$work/largest" --out "$work/largest_envelope"
check "the largest openable text seals" test "$status" -eq 0
check "the largest openable text seals without a warning" test ! -s "$work/err"
run open --key "$key" --iv "$iv" --in "$work/largest_envelope" --out "$work/largest_opened"
check "the largest openable text opens" cmp -s "$work/largest_opened" "$work/largest"
head -c 16772160 /dev/zero >"$work/huge"
run seal --key "$key" --iv "$iv" --in "$work/huge" --out "$work/huge_envelope"
check "one byte over: refused with exit 1" test "$status" -eq 1
check "one byte over: the numbers in the message" \
  grep -qF "seal refused: 16772160 bytes of data, and the library opens at most 16772159 (--force seals anyway)" "$work/err"
check "one byte over: no envelope written" test ! -e "$work/huge_envelope"
run seal --force --key "$key" --iv "$iv" --in "$work/huge" --out "$work/huge_envelope"
check "--force seals it" test "$status" -eq 0
check "--force warns" grep -qF "warning: sealed with --force: 16772160 bytes of data" "$work/err"
run open --key "$key" --iv "$iv" --in "$work/huge_envelope"
check "opening it fails" test "$status" -eq 1
check "opening it names the limit" grep -qF "more than the 16772159 bytes the library opens" "$work/err"
head -c 16770000 /dev/urandom >"$work/random"
run seal --key "$key" --iv "$iv" --in "$work/random"
check "random data whose stream is over the limit: refused" test "$status" -eq 1
check "random data: the stream's length in the message" \
  grep -qE "seal refused: the zlib stream of these 16770000 bytes is 167[0-9]{5} bytes, and the library opens streams of at most 16772159" "$work/err"
check "random data: nothing written" test ! -s "$work/out"

# Out of memory: a message and exit 1, never an abort.
if [ "$emulated" = 1 ]; then
  echo "SKIPPED: out of memory: a user-mode emulator cannot start under an address-space limit"
elif [ -n "${PELM_NO_MEMORY_CAP:-}" ]; then
  echo "SKIPPED: out of memory: no address-space limit under $PELM_NO_MEMORY_CAP"
else
  (ulimit -v 400000; exec "${pelm[@]}" seal --key "$key" --iv "$iv" --in /dev/zero) >"$work/out" 2>"$work/err"
  status=$?
  check "out of memory: exit 1" test "$status" -eq 1
  check "out of memory: says so" grep -qF "pelm: out of memory" "$work/err"
fi

# --out: whole or nothing.
echo -n 'not base64!' >"$work/stdin"
run open --key "$key" --iv "$iv" --in "$work/stdin" --out "$work/result"
check "failed open exits 1" test "$status" -eq 1
check "failed open leaves no --out file" test ! -e "$work/result"
check "failed open leaves no temporary file" test -z "$(find "$work" -name 'result.*')"
# --out through a symlink writes the file it leads to; modes are kept.
echo old >"$work/target"
chmod 0640 "$work/target"
ln -s target "$work/link"
run open --key "$key" --iv "$iv" --in "$work/envelope" --out "$work/link"
check "--out through a symlink: the link stays a link" test -L "$work/link"
check "--out through a symlink: the target gets the result" cmp -s "$work/target" "$work/data"
check "--out keeps an existing file's mode" test "$(stat -c %a "$work/target")" = 640
(umask 027; exec "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/envelope" --out "$work/new_file")
check "--out: a new file gets 0666 less the umask" test "$(stat -c %a "$work/new_file")" = 640
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
