#!/usr/bin/env bash
# Builds the Android library package: pelmLib-VERSION.aar (PelmTools as Java
# 8 classes, libpelmLib.so for the four ABIs, Release and stripped, the
# consumer R8 rules, a prefab package for apps' own native code), a Maven
# repository folder holding it, and a zip of the unstripped libraries for
# native crash symbolication. The version is project()'s.
# Usage: make-aar.sh SOURCE_DIR WORK_DIR   (ANDROID_NDK_ROOT or ANDROID_NDK_HOME set)
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
bin=$ndk/toolchains/llvm/prebuilt/linux-x86_64/bin
ndk_major=$(sed -n 's/^Pkg\.Revision *= *\([0-9]*\).*/\1/p' "$ndk/source.properties")
version=$(sed -n 's/^project(pelmLib VERSION \([0-9][0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] && [ -n "$ndk_major" ] || { echo "cannot read the version or the NDK's" >&2; exit 2; }
read -r -a abis <<<"${PELM_AAR_ABIS:-arm64-v8a armeabi-v7a x86 x86_64}"
group=com.trevik.aes
artifact=pelmLib
api=21
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

stage=$work/aar
rm -rf "$stage" "$work/symbols" "$work/maven"
mkdir -p "$stage/jni" "$work/symbols"
module=$stage/prefab/modules/pelmLib
mkdir -p "$module/include"

for abi in "${abis[@]}"; do
  dir=$work/build-$abi
  cmake -S "$source_dir" -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DANDROID_ABI="$abi" -DANDROID_PLATFORM=android-$api -DANDROID_STL=c++_static \
    -DCMAKE_BUILD_TYPE=Release --log-level=WARNING >"$dir.log" 2>&1 ||
    { tail -20 "$dir.log"; exit 1; }
  cmake --build "$dir" -j "$(nproc)" --target pelmLib >>"$dir.log" 2>&1 || { tail -20 "$dir.log"; exit 1; }
  mkdir -p "$stage/jni/$abi" "$module/libs/android.$abi" "$work/symbols/$abi"
  cp "$dir/libpelmLib.so" "$work/symbols/$abi/libpelmLib.so"
  "$bin/llvm-strip" -o "$stage/jni/$abi/libpelmLib.so" "$dir/libpelmLib.so"
  cp "$stage/jni/$abi/libpelmLib.so" "$module/libs/android.$abi/libpelmLib.so"
  printf '{"abi": "%s", "api": %d, "ndk": %d, "stl": "c++_static", "static": false}\n' \
    "$abi" $api "$ndk_major" >"$module/libs/android.$abi/abi.json"
done
cp -r "$source_dir/include/pelm" "$module/include/"
cp "$work/build-${abis[0]}/include/pelm/version.h" "$module/include/pelm/"
printf '{"schema_version": 2, "name": "pelmLib", "version": "%s", "dependencies": []}\n' \
  "$version" >"$stage/prefab/prefab.json"
printf '{"export_libraries": [], "android": {}}\n' >"$module/module.json"

# PelmTools as Java 8 class files: what every D8 and Android's runtimes read.
rm -rf "$work/classes"
javac --release 8 -Xlint:-options -d "$work/classes" "$source_dir/java/com/trevik/aes/PelmTools.java"
(cd "$work/classes" && jar --create --file "$stage/classes.jar" --no-manifest .)
cp "$source_dir/android/aar/AndroidManifest.xml" "$source_dir/android/aar/proguard.txt" "$stage/"
: >"$stage/R.txt"

# Zips with sorted entries and a fixed date, so the same tree gives the same bytes.
zip_tree() {  # FOLDER ZIP
  python3 - "$1" "$2" <<'PY'
import os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
names = sorted(os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for name in names:
        info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(os.path.join(root, name), "rb") as f:
            z.writestr(info, f.read())
PY
}
aar=$work/$artifact-$version.aar
zip_tree "$stage" "$aar"
zip_tree "$work/symbols" "$work/$artifact-$version-native-debug-symbols.zip"

repo=$work/maven/${group//.//}/$artifact/$version
mkdir -p "$repo"
cp "$aar" "$repo/"
sed -e "s/@GROUP@/$group/" -e "s/@ARTIFACT@/$artifact/" -e "s/@VERSION@/$version/" \
  "$source_dir/android/aar/pom.xml.in" >"$repo/$artifact-$version.pom"

echo "aar: $aar ($(stat -c %s "$aar") bytes)"
echo "maven: $work/maven, as $group:$artifact:$version"
echo "symbols: $work/$artifact-$version-native-debug-symbols.zip"
