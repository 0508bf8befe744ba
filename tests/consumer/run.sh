#!/usr/bin/env bash
# Installs the built library into a scratch prefix and builds the consumer
# project against it twice: with find_package(pelm) and with pkg-config.
# Usage: run.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in lib/libpelmLib.so include/pelm/envelope.h include/pelm/version.h bin/pelm \
         share/java/pelmtools.jar lib/cmake/pelm/pelmConfig.cmake lib/pkgconfig/pelm.pc \
         share/doc/pelmLib/README.md share/doc/pelmLib/docs/envelope-format.md; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
"$prefix/bin/pelm" --version

cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ -std=c++17 "$here/main.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs pelm) \
  -Wl,-rpath,"$(pkg-config --variable=libdir pelm)"
"$work/consumer-pc"
echo "consumer built with find_package(pelm) and with pkg-config: OK"
