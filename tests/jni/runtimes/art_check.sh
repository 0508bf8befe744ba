#!/usr/bin/env bash
# The four natives on Android's own runtime: ART from Android 10 (a host
# build, from ../shared/android-art-host or PELM_ART_HOST) with CheckJNI,
# against the library built for the host as Android builds it (the builtin
# provider). RuntimeCheck runs on HotSpot and on ART, and the two outputs
# must match line by line; then the load refusals, the same way. Fails on
# any test failure, any difference, and any "JNI DETECTED ERROR" or
# "JNI WARNING" line of ART's.
# Usage: art_check.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
art=${PELM_ART_HOST:-$src/../shared/android-art-host}
[ -x "$art/art-run" ] || { echo "art check: no ART at $art (set PELM_ART_HOST)" >&2; exit 2; }
export ART_HOST_DIR=$out/runtime  # unpacked here, nothing written beside the tools
failed=0
fail() { echo "art check: FAILED: $*" >&2; failed=1; }

cmake -S "$src" -B "$out/lib" -DCMAKE_BUILD_TYPE=Release -DPELM_CRYPTO_PROVIDER=builtin \
  -DCMAKE_RULE_MESSAGES=OFF --log-level=WARNING >/dev/null
cmake --build "$out/lib" -j "$(nproc)" --target pelmLib pelmtools \
  load_refusal_missing load_refusal_wrong_signature load_refusal_not_native >/dev/null
lib=$out/lib
rm -rf "$out/classes" && mkdir -p "$out/classes"
javac --release 8 -Xlint:-options -cp "$lib/pelmtools.jar" -d "$out/classes" \
  "$src/tests/jni/runtimes/RuntimeCheck.java"
"$art/art-dex" "$out/runtime_check.dex.jar" "$lib/pelmtools.jar" "$out/classes" >/dev/null

# Runs one program on both runtimes and compares: NAME JAR DEX_JAR MAIN ARGS...
both() {
  local name=$1 jar=$2 dex=$3
  shift 3
  local status=0
  java -Xcheck:jni -Xmx64m -Djava.library.path="$lib" -cp "$jar" "$@" \
    >"$out/$name.hotspot.txt" 2>"$out/$name.hotspot.err" || status=$?
  [ $status -eq 0 ] || fail "$name on HotSpot: exit $status ($(grep FAILED "$out/$name.hotspot.txt" | head -3))"
  if grep -E 'WARNING in native method|FATAL ERROR in native method' "$out/$name.hotspot.err"; then
    fail "$name on HotSpot: a JNI warning"
  fi
  status=0
  "$art/art-run" --xmx 64m --library-path "$lib" --classpath "$dex" "$@" \
    >"$out/$name.art.txt" 2>"$out/$name.art.err" || status=$?
  [ $status -eq 0 ] || fail "$name on ART: exit $status ($(grep -m3 -E 'FAILED|JNI DETECTED|Abort' \
    "$out/$name.art.txt" "$out/$name.art.err" | tr '\n' ' '))"
  if grep -E 'JNI DETECTED ERROR|JNI WARNING' "$out/$name.art.err"; then
    fail "$name on ART: CheckJNI reported the lines above"
  fi
  if ! diff -u "$out/$name.hotspot.txt" "$out/$name.art.txt" >"$out/$name.diff"; then
    head -20 "$out/$name.diff"
    fail "$name: ART and HotSpot printed different lines ($out/$name.diff)"
  fi
  echo "art check: $name: $(grep -vc -E '^(OK|FAILED)' "$out/$name.art.txt") lines, the same on ART and HotSpot; $(tail -1 "$out/$name.art.txt")"
}

both texts_and_bad_input "$lib/pelmtools.jar:$out/classes" "$out/runtime_check.dex.jar" RuntimeCheck table
both threads "$lib/pelmtools.jar:$out/classes" "$out/runtime_check.dex.jar" RuntimeCheck threads
both full_heap "$lib/pelmtools.jar:$out/classes" "$out/runtime_check.dex.jar" RuntimeCheck heap
for variant in missing wrong_signature not_native; do
  jar=$lib/tests/jni/load_refusal_$variant.jar
  "$art/art-dex" "$out/load_refusal_$variant.dex.jar" "$jar" >/dev/null 2>>"$out/art-dex.log"
  both "load_refusal_$variant" "$jar" "$out/load_refusal_$variant.dex.jar" LoadRefusal
done
for group in texts_and_bad_input threads full_heap; do
  grep -E '^(surrogate pairs|lone high|threads|full heap) \|' "$out/$group.art.txt" | head -4 | sed 's/^/  ART: /'
done
grep -h '^first call' "$out"/load_refusal_*.art.txt | head -1 | sed 's/^/  ART: /'
[ $failed -eq 0 ] && echo "art check: OK (Android 10's ART with CheckJNI, the builtin provider)"
exit $failed
