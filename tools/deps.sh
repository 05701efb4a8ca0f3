#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when missing;
# or, given package names, just those (tools/demo.sh, tools/package.sh).
# Where the kernel runs 32-bit programs, the whole list also brings Debian's
# 32-bit Wine (wine32:i386, with the i386 architecture added), which runs
# the shipped 32-bit Windows program; elsewhere it says so and goes on.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
packages=("$@")
whole_list=0
[ ${#packages[@]} -gt 0 ] || whole_list=1
[ "$whole_list" = 0 ] || packages=(
  cmake ninja-build g++ pkg-config python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xauth x11-utils
  qt6-base-dev libgl-dev fonts-dejavu-core
  libsquish-dev python3-pil imagemagick
  bindfs ntfs-3g
  dpkg-dev file gzip unzip desktop-file-utils appstream man-db groff-base
  strace lintian librsvg2-bin
)
if [ "$whole_list" = 1 ]; then
  if bash "$here/runs-32bit.sh"; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "Adding the i386 architecture (for wine32:i386)"
      dpkg --add-architecture i386
    fi
    packages+=(wine32:i386)
  else
    echo "This kernel does not run 32-bit programs: wine32:i386 is not installed, and the Windows tests run the 64-bit build only."
  fi
fi
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
