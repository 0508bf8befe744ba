#!/usr/bin/env bash
# pelm --out over a table of targets: what each kind of file must be after
# a write, and what must never be left beside it; names that stand for a
# descriptor. Then the options that mean nothing for a command, key files
# ending in CR LF, and signals while the temporary file exists.
# Usage: out_rules_test.sh PELM [SIGNAL_IN_TEMP_WINDOW_LIBRARY FREED_BLOCK_PROBE_LIBRARY]
# (PELM_EMULATOR, if set, runs the tool: a cross build under qemu.)
set -uo pipefail
ulimit -c 0  # the signal rows must leave no core files
read -r -a emulator <<<"${PELM_EMULATOR:-}"
pelm=("${emulator[@]}" "$1")
preload=${2:-}
probe=${3:-}
work=$(mktemp -d)
chmod 711 "$work"  # the rows run as another user reach their folder
trap 'rm -rf "$work"' EXIT
key=603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4
iv=000102030405060708090a0b0c0d0e0f
passed=0 failed=0 skipped=0
check() {  # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
skip() { skipped=$((skipped + 1)); echo "SKIPPED: $1"; }
root=$([ "$(id -u)" -eq 0 ] && echo 1 || echo 0)

printf 'the data, sealed once\n' >"$work/data"
"${pelm[@]}" seal --key "$key" --iv "$iv" --in "$work/data" --out "$work/envelope" || exit 1
no_temp_beside() { [ -z "$(find "$work/t" -name '*.??????' 2>/dev/null)" ]; }

# Each row: a name, how to make the target (in $work/t, named $t), what
# must hold after `pelm open --out $t` (status in $status).
make_regular() { echo old >"$t"; chmod 0640 "$t"; }
holds_regular() { [ $status -eq 0 ] && [ -f "$t" ] && [ ! -L "$t" ] && cmp -s "$t" "$work/data" &&
                  [ "$(stat -c %a "$t")" = 640 ]; }
make_special_bits() { echo old >"$t"; chmod 7750 "$t"; }
holds_special_bits() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" && [ "$(stat -c %a "$t")" = 7750 ]; }
make_foreign_owner() { echo old >"$t"; chown 1234:1234 "$t"; chmod 0640 "$t"; }
holds_foreign_owner() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" &&
                        [ "$(stat -c %u:%g:%a "$t")" = 1234:1234:640 ]; }
# A user who cannot give the file away (it is root's) keeps its group, one
# of the user's own groups: run as uid 1234 with 2345 among its groups.
make_group_as_user() {
  chown 1234:1234 "$work/t"
  echo old >"$t"; chown 0:2345 "$t"; chmod 0664 "$t"
  as_user=(setpriv --reuid=1234 --regid=1234 --groups=1234,2345 --)
}
holds_group_as_user() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" &&
                        [ "$(stat -c %u:%g:%a "$t")" = 1234:2345:664 ]; }
# An access ACL (u::rw-, u:1234:r--, g::r--, m::r--, o::---) is kept.
acl_bytes() { python3 -c 'import os, sys; print(os.getxattr(sys.argv[1], "system.posix_acl_access").hex())' "$1"; }
make_acl() {
  echo old >"$t"
  python3 -c 'import os, struct, sys
entries = [(1, 6, 0xffffffff), (2, 4, 1234), (4, 4, 0xffffffff), (0x10, 4, 0xffffffff), (0x20, 0, 0xffffffff)]
os.setxattr(sys.argv[1], "system.posix_acl_access",
            struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in entries))' "$t"
  acl_before=$(acl_bytes "$t")
}
holds_acl() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" && [ "$(acl_bytes "$t")" = "$acl_before" ]; }
make_relative_link() { echo old >"$work/t/real"; ln -s real "$t"; }
holds_relative_link() { [ $status -eq 0 ] && [ -L "$t" ] && cmp -s "$work/t/real" "$work/data"; }
make_absolute_link() {
  mkdir -p "$work/t/elsewhere"
  echo old >"$work/t/elsewhere/real"
  mkdir -p "$work/t/links"
  ln -s "$work/t/elsewhere/real" "$work/t/links/link"
  t=$work/t/links/link
}
holds_absolute_link() { [ $status -eq 0 ] && [ -L "$t" ] && cmp -s "$work/t/elsewhere/real" "$work/data" &&
                        [ ! -e "$work/t/links$work/t/elsewhere/real" ]; }
make_hard_link() { echo old >"$t"; ln "$t" "$work/t/other_name"; }
holds_hard_link() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" && [ "$(cat "$work/t/other_name")" = old ]; }
make_new_file() { :; }
holds_new_file() { [ $status -eq 0 ] && cmp -s "$t" "$work/data"; }
make_device() { mknod "$t" c 1 3; }  # the null device's numbers
holds_device() { [ $status -eq 0 ] && [ -c "$t" ] && [ "$(stat -c %t:%T "$t")" = 1:3 ]; }
make_fifo() { mkfifo "$t"; (timeout 10 cat "$t" >"$work/fifo_read") & reader=$!; }
holds_fifo() { wait "$reader"; [ $status -eq 0 ] && [ -p "$t" ] && cmp -s "$work/fifo_read" "$work/data"; }
make_socket() { python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$t"; }
holds_socket() { [ $status -eq 1 ] && [ -S "$t" ]; }
make_folder() { mkdir "$t"; }
holds_folder() { [ $status -eq 1 ] && [ -d "$t" ]; }
# The longest name a file may have: its temporary name must be cut short.
make_longest_name() { t=$work/t/$(printf 'n%.0s' {1..255}); echo old >"$t"; }
holds_longest_name() { [ $status -eq 0 ] && cmp -s "$t" "$work/data" && [ "$(ls "$work/t" | wc -l)" = 1 ]; }

rows="regular special_bits foreign_owner group_as_user acl relative_link absolute_link hard_link new_file device
      fifo socket folder longest_name"
for row in $rows; do
  case $row in
    foreign_owner|device|group_as_user) [ "$root" = 1 ] || { skip "$row: needs root (chown, mknod, setpriv)"; continue; } ;;
    acl) touch "$work/acl_probe" && python3 -c 'import os, sys; os.setxattr(sys.argv[1], "system.posix_acl_access", bytes.fromhex("02000000010006000000000004000400000000002000000000000000"))' "$work/acl_probe" 2>/dev/null ||
           { skip "$row: no ACLs on this file system"; continue; } ;;
    socket) command -v python3 >/dev/null || { skip "$row: no python3 to make a socket"; continue; } ;;
  esac
  rm -rf "$work/t"
  mkdir "$work/t"
  t=$work/t/target
  as_user=()
  "make_$row"
  timeout 20 "${as_user[@]}" "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/envelope" --out "$t" >"$work/out" 2>"$work/err"
  status=$?
  check "--out $row: $(tr '\n' ' ' <"$work/err")" "holds_$row"
  check "--out $row: nothing left beside it" no_temp_beside
done

# Names that stand for the tool's standard output: written through it as the
# shell set it up, appending to a file, into a pipe, into a socket.
open_to() { "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/envelope" --out "$1"; }
ln -sf /dev/stdout "$work/link_to_stdout"
for name in /dev/stdout /dev/fd/1 /proc/self/fd/1 "$work/link_to_stdout"; do
  echo "an earlier line" >"$work/log"
  open_to "$name" >>"$work/log" 2>"$work/err"
  { echo "an earlier line"; cat "$work/data"; } >"$work/log_expected"
  check "--out $name appending to a file: $(tr '\n' ' ' <"$work/err")" cmp -s "$work/log" "$work/log_expected"
  open_to "$name" 2>"$work/err" | cat >"$work/piped"
  check "--out $name into a pipe: $(tr '\n' ' ' <"$work/err")" cmp -s "$work/piped" "$work/data"
  if command -v python3 >/dev/null; then
    python3 - "$work/socketed" "$name" "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/envelope" <<'PY'
import socket, subprocess, sys
out, name, command = sys.argv[1], sys.argv[2], sys.argv[3:]
ours, theirs = socket.socketpair()
run = subprocess.Popen(command + ["--out", name], stdout=theirs)
theirs.close()
received = b""
while chunk := ours.recv(65536):
    received += chunk
run.wait()
open(out, "wb").write(received)
PY
    check "--out $name into a socket" cmp -s "$work/socketed" "$work/data"
  fi
done
[ -z "$(find "$work" -maxdepth 1 -name '*.??????')" ]
check "--out to a descriptor: no temporary file anywhere" test $? -eq 0

# Options that mean nothing for a command are refused, not ignored.
for command in open encrypt decrypt; do
  "${pelm[@]}" "$command" --force --key "$key" --iv "$iv" </dev/null >/dev/null 2>"$work/err"
  check "--force with $command: a usage error" test $? -eq 2
done

# Key and IV files written on Windows end in CR LF: neither byte is key.
printf '%s\r\n' "$key" >"$work/key_crlf"
printf '%s\r\n' "$iv" >"$work/iv_crlf"
"${pelm[@]}" seal --key-file "$work/key_crlf" --iv-file "$work/iv_crlf" --in "$work/data" >"$work/crlf_envelope" 2>"$work/err"
"${pelm[@]}" seal --key "$key" --iv "$iv" --in "$work/data" >"$work/plain_envelope"
check "key files ending in CR LF seal as the bare texts" cmp -s "$work/crlf_envelope" "$work/plain_envelope"

# Signals while the temporary file exists: SIGTERM, SIGHUP and SIGINT the
# moment mkstemp has made it, and each signal that ends the process by
# default while it is flushed; then SIGXFSZ as `ulimit -f` sends it,
# mid-write.
dies_of() {  # SIGNAL-NUMBER KIND [ENVIRONMENT...]
  local signal=$1 kind=$2
  shift 2
  rm -rf "$work/t"
  mkdir "$work/t"
  t=$work/t/target
  [ "$kind" = regular ] && echo old >"$t"
  env "$@" "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/envelope" --out "$t" 2>/dev/null
  status=$?
  check "signal $signal ($kind): the tool dies of it" test $status -eq $((128 + signal))
  check "signal $signal ($kind): no temporary file left" no_temp_beside
  [ "$kind" = regular ] && check "signal $signal ($kind): the file as it was" test "$(cat "$t")" = old
}
if [ -z "$preload" ]; then
  skip "signals in the temporary file's window: no preload library (an emulated build)"
else
  for signal in TERM HUP INT; do
    number=$(kill -l "$signal")
    for kind in new_file regular; do dies_of "$number" "$kind" LD_PRELOAD="$preload" PELM_SIGNAL_IN_MKSTEMP="$number"; done
  done
  for signal in HUP INT QUIT USR1 USR2 ALRM TERM XFSZ VTALRM PROF; do
    number=$(kill -l "$signal")
    dies_of "$number" regular LD_PRELOAD="$preload" PELM_SIGNAL_IN_FSYNC="$number"
  done
fi
head -c 300000 /dev/urandom | base64 >"$work/big"
"${pelm[@]}" seal --key "$key" --iv "$iv" --in "$work/big" --out "$work/big_envelope"
rm -rf "$work/t"; mkdir "$work/t"; t=$work/t/target
(ulimit -c 0 -f 100; exec "${pelm[@]}" open --key "$key" --iv "$iv" --in "$work/big_envelope" --out "$t" 2>/dev/null)
status=$?
check "SIGXFSZ from ulimit -f mid-write: the tool dies of it" test $status -eq $((128 + $(kill -l XFSZ)))
check "SIGXFSZ from ulimit -f mid-write: no temporary file left" no_temp_beside

# The input grows its buffer many times over: every buffer it leaves is
# wiped before it is freed.
if [ -z "$probe" ]; then
  skip "freed input buffers: no probe library (an emulated build)"
else
  needle=secret-needle-7d1f0c
  { echo "$needle"; head -c 400000 /dev/zero | tr '\0' 'a'; } >"$work/long_data"
  LD_PRELOAD=$probe PELM_PROBE_NEEDLE=$needle "${pelm[@]}" seal --key "$key" --iv "$iv" \
    --in "$work/long_data" >/dev/null 2>"$work/probe"
  check "freed input buffers hold no input: $(tail -1 "$work/probe")" \
    grep -q "the needle was in 0 freed block(s)" "$work/probe"
fi

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
