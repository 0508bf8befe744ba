#!/usr/bin/env bash
# Checks the package `make aar` built: the AAR holds exactly the expected
# entries; each libpelmLib.so in it passes the Android library checks;
# its JSON files parse and say what they must; its classes are Java 8 with
# no invokedynamic; the POM names the AAR; and an app that calls only
# method01 and method02, shrunk by ProGuard with the Android Gradle plugin's
# default rule for natives and the AAR's proguard.txt as its only rules,
# keeps all four natives and then runs on the host JVM against the host
# library (and on Android 10's ART where the project has it).
# Usage: aar_check.sh SOURCE_DIR AAR_WORK_DIR HOST_LIBRARY_DIR
#        (ANDROID_NDK_ROOT or ANDROID_NDK_HOME set, for the NDK's LLVM tools)
set -uo pipefail
source_dir=$(cd "$1" && pwd)
work=$(cd "$2" && pwd)
host_lib=$(cd "$3" && pwd)
ndk=${ANDROID_NDK_ROOT:-${ANDROID_NDK_HOME:-}}
bin=$ndk/toolchains/llvm/prebuilt/linux-x86_64/bin
version=$(sed -n 's/^project(pelmLib VERSION \([0-9][0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
aar=$work/pelmLib-$version.aar
abis=(arm64-v8a armeabi-v7a x86 x86_64)
failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}
source "$source_dir/tests/android/library_checks.sh"
[ -f "$aar" ] || { echo "no $aar: run make aar first" >&2; exit 2; }
check=$work/check
rm -rf "$check" && mkdir -p "$check/aar"
(cd "$check/aar" && python3 -m zipfile -e "$aar" .)

# Exactly these entries.
{
  printf '%s\n' AndroidManifest.xml R.txt classes.jar proguard.txt prefab/prefab.json \
    prefab/modules/pelmLib/module.json
  for header in "$source_dir"/include/pelm/*.h; do
    echo "prefab/modules/pelmLib/include/pelm/$(basename "$header")"
  done
  echo prefab/modules/pelmLib/include/pelm/version.h
  for abi in "${abis[@]}"; do
    printf '%s\n' "jni/$abi/libpelmLib.so" "prefab/modules/pelmLib/libs/android.$abi/abi.json" \
      "prefab/modules/pelmLib/libs/android.$abi/libpelmLib.so"
  done
} | sort >"$check/expected_entries"
python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$aar" \
  >"$check/entries"
diff "$check/expected_entries" "$check/entries" >"$check/entries.diff" ||
  fail "entries" "not the expected ones: $(tr '\n' ' ' <"$check/entries.diff")"

# The stripped libraries have no symbol table left to show an exception
# runtime: the symbols zip's unstripped ones are checked for that too.
mkdir -p "$check/symbols"
(cd "$check/symbols" && python3 -m zipfile -e "$work/pelmLib-$version-native-debug-symbols.zip" .)
for abi in "${abis[@]}"; do
  so=$check/aar/jni/$abi/libpelmLib.so
  [ -f "$so" ] || continue
  check_android_library "aar $abi" "$so"
  if [ -f "$check/symbols/$abi/libpelmLib.so" ]; then
    check_android_library "symbols $abi" "$check/symbols/$abi/libpelmLib.so"
  else
    fail "symbols $abi" "not in the symbols zip"
  fi
  cmp -s "$so" "$check/aar/prefab/modules/pelmLib/libs/android.$abi/libpelmLib.so" ||
    fail "aar $abi" "the prefab library differs from jni/$abi"
  "$bin/llvm-readelf" -S "$so" | grep -q -E '\.debug_info|\.symtab' && fail "aar $abi" "not stripped"
done

python3 - "$check/aar" "$version" "${abis[@]}" <<'PY' || fail "json" "see above"
import json, os, sys
root, version, abis = sys.argv[1], sys.argv[2], sys.argv[3:]
bad = []
def load(path):
    with open(os.path.join(root, path)) as f:
        return json.load(f)
try:
    p = load("prefab/prefab.json")
    if (p.get("schema_version"), p.get("name"), p.get("version")) != (2, "pelmLib", version):
        bad.append(f"prefab.json: {p}")
    m = load("prefab/modules/pelmLib/module.json")
    if not isinstance(m.get("export_libraries"), list):
        bad.append(f"module.json: {m}")
    for abi in abis:
        a = load(f"prefab/modules/pelmLib/libs/android.{abi}/abi.json")
        if a.get("abi") != abi or a.get("api") != 21 or a.get("stl") != "c++_static" \
                or not isinstance(a.get("ndk"), int):
            bad.append(f"{abi}/abi.json: {a}")
except (OSError, ValueError) as e:
    bad.append(str(e))
for b in bad:
    print(b)
sys.exit(1 if bad else 0)
PY

grep -q 'package="com.trevik.aes"' "$check/aar/AndroidManifest.xml" &&
  grep -q 'android:minSdkVersion="21"' "$check/aar/AndroidManifest.xml" ||
  fail "manifest" "no package com.trevik.aes with minSdkVersion 21"

mkdir -p "$check/classes" && (cd "$check/classes" && python3 -m zipfile -e "$check/aar/classes.jar" .)
while IFS= read -r class; do
  major=$(od -An -j6 -N2 -tu1 "$class" | awk '{print $1 * 256 + $2}')
  [ "$major" = 52 ] || fail "classes.jar" "$(basename "$class") is class-file version $major, not 52 (Java 8)"
  javap -c -p "$class" | grep -q invokedynamic && fail "classes.jar" "$(basename "$class") uses invokedynamic"
done < <(find "$check/classes" -name '*.class')

pom=$work/maven/com/trevik/aes/pelmLib/$version/pelmLib-$version.pom
grep -q '<packaging>aar</packaging>' "$pom" && grep -q "<version>$version</version>" "$pom" &&
  grep -q '<artifactId>pelmLib</artifactId>' "$pom" && grep -q '<groupId>com.trevik.aes</groupId>' "$pom" ||
  fail "pom" "$pom does not name the AAR"
cmp -s "$aar" "$(dirname "$pom")/pelmLib-$version.aar" || fail "maven" "the repository's AAR differs"

# The shrink: AGP's default rule for natives keeps only names of what stays;
# the AAR's proguard.txt must keep the four natives themselves.
app=$check/app
mkdir -p "$app/classes"
javac --release 8 -Xlint:-options -cp "$check/aar/classes.jar" -d "$app/classes" \
  "$source_dir/tests/android/shrink_app/App.java"
(cd "$app/classes" && jar --create --file "$app/app.jar" --no-manifest .)
cat >"$app/rules.pro" <<RULES
-injars $app/app.jar
-injars $check/aar/classes.jar
-outjars $app/shrunk.jar
-ignorewarnings
-dontnote
-keep public class App { public static void main(java.lang.String[]); }
-keepclasseswithmembernames,includedescriptorclasses class * { native <methods>; }
-include $check/aar/proguard.txt
RULES
if ! proguard @"$app/rules.pro" >"$app/proguard.log" 2>&1; then
  fail "shrink" "ProGuard failed: $(tail -3 "$app/proguard.log" | tr '\n' ' ')"
else
  mkdir -p "$app/shrunk" && (cd "$app/shrunk" && python3 -m zipfile -e "$app/shrunk.jar" .)
  kept=$(javap -p "$app/shrunk/com/trevik/aes/PelmTools.class" 2>/dev/null | grep -c -E 'static native java.lang.String method0[1-4]\(')
  [ "$kept" = 4 ] || fail "shrink" "the shrunk PelmTools keeps $kept of the four natives"
  # ProGuard 6.2 cannot read JDK 17's class library, so the shrunk jar was
  # made without it and runs without bytecode verification.
  ran=$(java -XX:+UnlockDiagnosticVMOptions -XX:-BytecodeVerificationRemote -XX:-BytecodeVerificationLocal \
        -Djava.library.path="$host_lib" \
        -cp "$app/shrunk.jar" App 2>&1)
  [ "$ran" = "shrunk app | OK" ] || fail "shrink" "the shrunk app on the JVM: $(tr '\n' ' ' <<<"$ran" | cut -c1-300)"
  art=${PELM_ART_HOST:-$source_dir/../shared/android-art-host}
  if [ -x "$art/art-run" ]; then
    export ART_HOST_DIR=${ART_HOST_DIR:-$source_dir/build-art/runtime}
    "$art/art-dex" "$app/shrunk.dex.jar" "$app/shrunk.jar" >/dev/null 2>"$app/art-dex.log" ||
      fail "shrink" "art-dex: $(tail -2 "$app/art-dex.log")"
    ran=$("$art/art-run" --library-path "$host_lib" --classpath "$app/shrunk.dex.jar" App 2>"$app/art.err")
    [ "$ran" = "shrunk app | OK" ] || fail "shrink" "the shrunk app on ART: $ran $(grep -m2 -E 'Error|DETECTED' "$app/art.err")"
    echo "shrunk app on ART: $ran"
  fi
  echo "shrunk app on the JVM: $ran; natives kept: $kept of 4"
fi

echo "AAR $aar:"
python3 -c 'import sys, zipfile
for i in sorted(zipfile.ZipFile(sys.argv[1]).infolist(), key=lambda i: i.filename): print(f"  {i.file_size:9d}  {i.filename}")' "$aar"
if [ $failures -ne 0 ]; then
  echo "aar check: $failures failure(s)"
  exit 1
fi
echo "aar check: entries, ${#abis[@]} libraries, JSON, Java 8 classes, POM, shrunk app: OK"
