#!/usr/bin/env bash
# Instructions per byte of the engine's paths, counted by callgrind inside
# the exported operation alone (repeatable where timings are not).
# Usage: instructions.sh PELM_INSTR_BINARY
set -euo pipefail
driver=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

count() {  # OP SYMBOL BYTES PATH -> "path-name instructions-inside-SYMBOL"
  local out=$scratch/callgrind.out name
  name=$(valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$2" \
    "$driver" "$1" "$3" "$4" 2>/dev/null | cut -d' ' -f1)
  echo "$name $(sed -n 's/^totals: *//p' "$out")"
}

echo "| operation | bytes | path | instructions | per byte |"
echo "|---|---|---|---|---|"
for path in software best; do
  while read -r op symbol bytes; do
    read -r name total < <(count "$op" "$symbol" "$bytes" "$path")
    printf '| %s | %s | %s | %s | %s |\n' "$op" "$bytes" "$name" "$total" \
      "$(awk -v t="$total" -v b="$bytes" 'BEGIN { printf "%.1f", t / b }')"
  done <<'OPS'
block_encrypt qqppqp 16
block_decrypt qqppqq 16
cbc_encrypt qpppqp 65536
cbc_decrypt qqqpqp 65536
ctr qppqqp 65536
OPS
done
