#!/usr/bin/env bash
# Builds the library with an Android NDK for its four ABIs at API 21, both
# ways an Android developer does: the standalone CMake command (Release) and
# an app's own CMakeLists pulling it in with add_subdirectory, configured as
# the Android Gradle plugin configures it (Debug and RelWithDebInfo). Every
# build must be free of compiler and linker warnings; every library must
# export exactly the public names, need nothing beyond zlib, liblog and
# bionic's libc, libm and libdl, load on 16 KB pages and take thread-locals
# without __tls_get_addr (which bionic has only from API 29), and link no C++
# exception runtime (the library is built without exceptions). Ends with the
# stripped sizes. No device runs anything: this proves compiling and linking.
# Usage: ndk_check.sh SOURCE_DIR WORK_DIR   (ANDROID_NDK_ROOT or ANDROID_NDK_HOME set)
set -euo pipefail
source_dir=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
ndk=${ANDROID_NDK_ROOT:-${ANDROID_NDK_HOME:-}}
if [ -z "$ndk" ]; then
  echo "No Android NDK: set ANDROID_NDK_ROOT (or ANDROID_NDK_HOME) to an NDK, r28 or later." >&2
  exit 2
fi
toolchain=$ndk/build/cmake/android.toolchain.cmake
[ -f "$toolchain" ] || { echo "$ndk has no build/cmake/android.toolchain.cmake" >&2; exit 2; }
bin=$ndk/toolchains/llvm/prebuilt/linux-x86_64/bin
api=21
# PELM_ANDROID_ABIS narrows the run, for a quick look at one ABI.
read -r -a abis <<<"${PELM_ANDROID_ABIS:-arm64-v8a armeabi-v7a x86 x86_64}"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
failures=0

fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# Configures and builds; the log must hold no warning from any step.
build() {  # NAME SOURCE BUILD_DIR CMAKE_ARGS...
  local name=$1 src=$2 dir=$3
  shift 3
  rm -rf "$dir"
  if ! cmake -S "$src" -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DANDROID_PLATFORM=android-$api -DANDROID_STL=c++_static "$@" >"$dir.log" 2>&1 ||
     ! cmake --build "$dir" -j "$(nproc)" >>"$dir.log" 2>&1; then
    fail "$name" "build failed (log: $dir.log)"
    grep -E 'error|undefined' "$dir.log" | head -n 20 || tail -n 20 "$dir.log"
    return 1
  fi
  if grep -i -E '(^|[^-])warning' "$dir.log" | grep -v -E '^\s*$' >"$dir.warnings"; then
    fail "$name" "warnings while building:"
    head -n 20 "$dir.warnings"
  fi
}

source "$source_dir/tests/android/library_checks.sh"

declare -A sizes
for abi in "${abis[@]}"; do
  dir=$work/standalone-$abi
  if build "standalone $abi" "$source_dir" "$dir" -DANDROID_ABI="$abi" -DCMAKE_BUILD_TYPE=Release; then
    check_android_library "standalone $abi" "$dir/libpelmLib.so"
    "$bin/llvm-strip" -o "$dir/libpelmLib.stripped.so" "$dir/libpelmLib.so"
    sizes[$abi]=$(stat -c %s "$dir/libpelmLib.stripped.so")
  fi
  for type in Debug RelWithDebInfo; do
    # The arguments the Android Gradle plugin passes to an app's CMake build.
    dir=$work/app-$type-$abi
    out=$dir/intermediates/cxx/$type/obj/$abi
    build "app module $type $abi" "$source_dir/tests/app_module" "$dir" \
      -DPELM_SOURCE_DIR="$source_dir" -DCMAKE_BUILD_TYPE=$type \
      -DANDROID_ABI="$abi" -DANDROID_NDK="$ndk" -DCMAKE_ANDROID_ARCH_ABI="$abi" \
      -DCMAKE_ANDROID_NDK="$ndk" -DCMAKE_SYSTEM_NAME=Android -DCMAKE_SYSTEM_VERSION=$api \
      -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
      -DCMAKE_LIBRARY_OUTPUT_DIRECTORY="$out" -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$out" || continue
    if [ -f "$out/libpelmLib.so" ]; then
      check_android_library "app module $type $abi" "$out/libpelmLib.so"
    else
      fail "app module $type $abi" "libpelmLib.so is not in the folder the caller chose"
    fi
  done
done

echo
echo "libpelmLib.so, Release, c++_static, stripped (the NDK's libc++ bodies not counted when it is a stand-in):"
printf '  %-12s %9s\n' ABI bytes
for abi in "${abis[@]}"; do
  printf '  %-12s %9s\n' "$abi" "${sizes[$abi]:-none}"
done
budget=102400
over=""
for abi in "${abis[@]}"; do
  [ -n "${sizes[$abi]:-}" ] && [ "${sizes[$abi]}" -gt $budget ] && over+=" $abi"
done
echo "size budget: $budget bytes per ABI; over it:${over:- none}"

if [ $failures -ne 0 ]; then
  echo "android ndk check: $failures failure(s)"
  exit 1
fi
echo "android ndk check: ${#abis[@]} ABIs x 3 builds, no warnings; exports, NEEDED, 16 KB LOAD segments, no __tls_get_addr, no exception runtime: OK"
