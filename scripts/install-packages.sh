#!/usr/bin/env bash
# Installs the given Debian packages that are missing, each checked for the
# architecture it is meant for (PKG for this machine's, PKG:arm64 for
# arm64). With nothing missing it does nothing and needs no root. With
# something missing it installs as root, or through sudo; failing both it
# prints the exact apt-get line to run and stops.
set -euo pipefail
native=$(dpkg --print-architecture)

installed() {  # PKG[:ARCH] -> whether that package is installed for that architecture
  local name=${1%%:*} arch=$native
  [[ $1 == *:* ]] && arch=${1#*:}
  # Lines like "zlib1g-dev:amd64 ii " or, for Architecture: all, "junit5 ii ".
  dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' "$name" 2>/dev/null |
    awk -v exact="$name:$arch" -v plain="$name" -v native_arch="$arch" -v native="$native" \
      '($1 == exact || ($1 == plain && native_arch == native)) && $2 == "ii" { found = 1 }
       END { exit !found }'
}

missing=()
for package in "$@"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  as_root=(sudo)
else
  needs_arm64=""
  printf '%s\n' "${missing[@]}" | grep -q ':arm64$' && needs_arm64="dpkg --add-architecture arm64 && "
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root, then run this again:" >&2
  echo "  ${needs_arm64}apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' &&
   ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${as_root[@]}" dpkg --add-architecture arm64
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
