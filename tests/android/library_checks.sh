# What an Android build of the library must be on every ABI, for the checks
# that build or package it. Sourced; needs source_dir, bin (the NDK's LLVM
# tools) and a function fail NAME MESSAGE.

check_android_library() {  # NAME LIBRARY
  local name=$1 library=$2 needed extra undefined runtime
  "$source_dir/tests/check_exports.sh" "$library" "$bin/llvm-nm" >/dev/null ||
    fail "$name" "$("$source_dir/tests/check_exports.sh" "$library" "$bin/llvm-nm" 2>&1 | tr '\n' ' ')"
  needed=$("$bin/llvm-readelf" -d "$library" | awk '/\(NEEDED\)/ { gsub(/[][]/, "", $NF); print $NF }')
  extra=$(grep -v -x -E 'lib(z|log|m|dl|c)\.so' <<<"$needed" || true)
  [ -z "$extra" ] || fail "$name" "needs more than zlib, liblog and bionic: $(echo $extra)"
  "$source_dir/tests/check_page_alignment.sh" "$library" "$bin/llvm-readelf" >/dev/null ||
    fail "$name" "a LOAD segment is aligned below 16 KB"
  # The library is built without exceptions: nothing may pull the C++
  # runtime's exception machinery (throw, unwinder, demangler) back in. An
  # unoptimised build does, through the C++ library's compiled string
  # destructor, so Debug builds are not held to it.
  if [[ $name != *Debug* ]]; then
    runtime=$("$bin/llvm-nm" "$library" 2>/dev/null | awk '{print $NF}' |
              grep -x -E '__cxa_throw|__cxa_begin_catch|_Unwind_RaiseException|__cxa_demangle|__gxx_personality_v0' || true)
    [ -z "$runtime" ] || fail "$name" "links the C++ exception runtime: $(echo $runtime)"
  fi
  undefined=$("$bin/llvm-nm" -D --undefined-only "$library" | awk '{print $NF}')
  if grep -q -E '^__tls_get_addr' <<<"$undefined"; then
    fail "$name" "imports __tls_get_addr, which bionic has only from API 29"
  fi
}

