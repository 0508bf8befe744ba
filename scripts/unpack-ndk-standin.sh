#!/usr/bin/env bash
# Unpacks the NDK stand-in (a tarball of bionic's headers and stub libraries
# with the NDK's own CMake toolchain file, run by Debian's clang 19) into a
# folder of the build tree, installs the compiler it wraps, and prints the
# folder to use as ANDROID_NDK_ROOT. Nothing is written beside the tarball.
# Usage: unpack-ndk-standin.sh TARBALL DEST
set -euo pipefail
tarball=$1
dest=$2
[ -f "$tarball" ] || { echo "no NDK stand-in at $tarball" >&2; exit 1; }
"$(dirname "$0")/install-packages.sh" clang-19 lld-19 llvm-19 >&2
root=$dest/android-ndk-standin
if [ ! -f "$root/.unpacked" ] || [ "$tarball" -nt "$root/.unpacked" ]; then
  rm -rf "$root"
  mkdir -p "$dest"
  tar -xJf "$tarball" -C "$dest"
  touch "$root/.unpacked"
fi
cd "$root" && pwd
