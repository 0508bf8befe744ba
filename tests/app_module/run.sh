#!/usr/bin/env bash
# Builds tests/app_module the way an app's native build runs: its own
# CMakeLists with add_subdirectory, the builtin provider, the library
# output folder given on the command line. Checks the library lands there,
# that none of the library's tests or tools were built, and runs the app.
# Usage: run.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/intermediates/cxx/obj/x86_64

cmake -S "$source_dir/tests/app_module" -B "$work/build" -DPELM_SOURCE_DIR="$source_dir" \
  -DCMAKE_LIBRARY_OUTPUT_DIRECTORY="$out" -DPELM_CRYPTO_PROVIDER=builtin \
  -DCMAKE_BUILD_TYPE=Release --log-level=WARNING >/dev/null
cmake --build "$work/build" -j 2 >/dev/null
[ -f "$out/libpelmLib.so" ] || { echo "libpelmLib.so is not in the folder the caller chose"; exit 1; }
if find "$work/build" -name pelm -type f -o -name aes128_tests -type f | grep -q .; then
  echo "the library's tests or tools were built inside an app"
  exit 1
fi
"$work/build/app_check"
echo "library in the caller's folder, no tests or tools, round trip done: OK"
