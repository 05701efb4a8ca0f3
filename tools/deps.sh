#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing;
# or, given package names, just those (tools/demo.sh, tools/package.sh).
set -euo pipefail
packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
  cmake ninja-build g++ pkg-config python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xauth x11-utils
  qt6-base-dev libgl-dev fonts-dejavu-core
  libsquish-dev python3-pil imagemagick
  bindfs ntfs-3g
  dpkg-dev file gzip unzip desktop-file-utils appstream man-db groff-base
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
