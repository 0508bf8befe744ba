#!/usr/bin/env bash
# The library built without exceptions, as on Android, but linked against
# the real bodies of LLVM's libc++ and libc++abi (Debian's static archives
# of LLVM 19, the version the NDK's r28 builds from) instead of the NDK
# stand-in's empty ones: a C++ library function the code calls that can
# throw would bring the exception runtime (throw, unwinder, demangler) back
# in, and the stand-in cannot show that. Both optimised build types an app
# ships (an unoptimised Debug build calls libc++'s compiled string
# destructor, whose exception handling does bring the runtime). Prints what
# the link took from libc++, then runs no_exceptions_probe.cpp on the result.
# Usage: libcxx_runtime_check.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
llvm=/usr/lib/llvm-19
for needed in "$llvm/bin/clang++" "$llvm/bin/ld.lld" "$llvm/lib/libc++.a" "$llvm/lib/libc++abi.a"; do
  [ -e "$needed" ] || { echo "missing $needed (clang-19 lld-19 libc++-19-dev libc++abi-19-dev)" >&2; exit 2; }
done
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
failures=0
for type in Release RelWithDebInfo; do
  dir=$work/libcxx-$type
  rm -rf "$dir"
  if ! cmake -S "$source_dir" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=$type \
         -DCMAKE_C_COMPILER="$llvm/bin/clang" -DCMAKE_CXX_COMPILER="$llvm/bin/clang++" \
         -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DPELM_CXX_EXCEPTIONS=OFF -DPELM_CRYPTO_PROVIDER=builtin \
         -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF -DPELM_BUILD_TOOLS=OFF \
         "-DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -nostdlib++ -Wl,--gc-sections -Wl,--why-extract=$dir.extracted" \
         "-DCMAKE_CXX_STANDARD_LIBRARIES=$llvm/lib/libc++.a $llvm/lib/libc++abi.a" >"$dir.log" 2>&1 ||
     ! cmake --build "$dir" >>"$dir.log" 2>&1; then
    echo "FAIL $type: build failed (log: $dir.log)"
    grep -E 'error|undefined' "$dir.log" | head -n 20
    failures=$((failures + 1))
    continue
  fi
  runtime=$(nm "$dir/libpelmLib.so" | awk '{print $NF}' |
            grep -E '^(__cxa_throw|__cxa_begin_catch|__cxa_demangle|__gxx_personality_v0|_Unwind_RaiseException)$' || true)
  if [ -n "$runtime" ]; then
    echo "FAIL $type: the C++ exception runtime is linked: $(echo $runtime)"
    grep -v '^reference' "$dir.extracted" | awk -F'\t' '{print "  " $1 " took " $3 " from " $2}'
    failures=$((failures + 1))
  fi
  # Only the std::string exports may allocate through operator new, which
  # aborts when memory runs out; the rest reports it with a null or false.
  for object in $(find "$dir/CMakeFiles/pelm_objects.dir" -name '*.o' ! -name string_api.cpp.o \
                    ! -name aborting_operator_new.cpp.o); do
    if nm -u "$object" | awk '{print $NF}' | grep -q -E '^_Zn[wa]'; then
      echo "FAIL $type: ${object#"$dir/"} calls operator new, which aborts without exceptions"
      failures=$((failures + 1))
    fi
  done
  # And it runs: the probe calls the C++ exports and fails their allocations.
  if ! "$llvm/bin/clang++" -std=c++17 -O1 -stdlib=libc++ -nostdlib++ -I"$source_dir/include" \
         -I"$dir/include" "$source_dir/tests/android/no_exceptions_probe.cpp" -o "$dir/probe" \
         -L"$dir" -lpelmLib -Wl,-rpath,"$dir" "$llvm/lib/libc++.a" "$llvm/lib/libc++abi.a" -lpthread ||
     ! "$dir/probe"; then
    echo "FAIL $type: the probe of the C++ exports failed"
    failures=$((failures + 1))
  fi
  echo "$type: taken from libc++/libc++abi:$(grep -v '^reference' "$dir.extracted" | grep -E 'libc\+\+(abi)?\.a' |
        awk -F'\t' '{printf " %s;", $3}')"
done
if [ $failures -ne 0 ]; then
  echo "libc++ runtime check: $failures failure(s)"
  exit 1
fi
echo "libc++ runtime check: built without exceptions on LLVM 19's libc++ bodies, no exception runtime linked, probe passed: OK"
