#!/usr/bin/env bash
# Installs the given Debian packages that are not installed yet; does
# nothing when all are there. Packages named PKG:arm64 enable the arm64
# architecture first.
set -euo pipefail
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if printf '%s\n' "${missing[@]}" | grep -q ':arm64$' &&
   ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $sudo dpkg --add-architecture arm64
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
