#!/usr/bin/env bash
# Unpacks Debian packages of another architecture into a folder, for
# building and running that architecture's code against them (compile with
# the folder as the find root, run under qemu). It keeps its own apt state
# inside the folder, so the machine's package configuration is untouched
# and no multiarch install can clash with the host's packages. Fails loudly
# when anything cannot be fetched.
# Usage: make-sysroot.sh ARCH FOLDER PACKAGE...
set -euo pipefail
arch=$1 folder=$2
shift 2
stamp="$folder/.packages"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$arch $*" ] && exit 0

state="$folder/.apt"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/debs" "$state/parts"
: > "$state/status"
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
echo "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
  > "$state/sources.list"
apt_options=(
  -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch"
  -o "Dir::State=$state" -o "Dir::State::Lists=$state/lists" -o "Dir::State::status=$state/status"
  -o "Dir::Cache=$state/cache" -o "Dir::Etc::SourceList=$state/sources.list"
  -o "Dir::Etc::SourceParts=$state/parts" -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root"
)
echo "Fetching $arch packages into $folder: $*"
apt-get "${apt_options[@]}" -qq update
(cd "$state/debs" && apt-get "${apt_options[@]}" -qq download "$@")
for deb in "$state/debs"/*.deb; do dpkg -x "$deb" "$folder"; done
# Links that name an absolute path (libz.so -> /lib/...) must stay inside.
find "$folder" -type l | while read -r link; do
  target=$(readlink "$link")
  if [ "${target#/}" != "$target" ]; then ln -sfn "$folder$target" "$link"; fi
done
echo "$arch $*" > "$stamp"
