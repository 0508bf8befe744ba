#!/usr/bin/env bash
# The library's dynamic symbol table must hold exactly its 22 public names.
# Usage: check_exports.sh LIBRARY [NM]
set -euo pipefail
library=$1
nm_tool=${2:-nm}

expected=$(sort <<'NAMES'
JNI_OnLoad
bbbddbdbb
bbddbbdbb
bdddbddbb
err_log
ll11l1l1ll
ll11lll11l
method01
method02
method03
method04
myDecrypt
myEncrypt
myHexLine
myHexValue
o000OO0O
o0OoOOOO
qpppqp
qppqqp
qqppqp
qqppqq
qqqpqp
NAMES
)

# Defined dynamic symbols, demangled; compared without argument lists.
demangled=$("$nm_tool" -D --defined-only "$library" | awk '{print $3}' | c++filt)
actual=$(sed 's/(.*//' <<<"$demangled" | sort)

if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ from the public list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
# myHexValue is mangled as taking a char.
if ! grep -qx 'myHexValue(char)' <<<"$demangled"; then
  echo "myHexValue is not exported as myHexValue(char)"
  exit 1
fi
echo "exports: $(wc -l <<<"$actual") names, as listed"
