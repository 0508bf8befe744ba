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

# Defined dynamic symbols, demangled, argument lists dropped.
actual=$("$nm_tool" -D --defined-only "$library" | awk '{print $3}' | c++filt | sed 's/(.*//' | sort)

if [ "$actual" != "$expected" ]; then
  echo "exported symbols differ from the public list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
# The C++ names take byte strings by reference, and myHexValue a char.
"$nm_tool" -D --defined-only "$library" | awk '{print $3}' | c++filt | grep -qx 'myHexValue(char)'
echo "exports: $(wc -l <<<"$actual") names, as listed"
