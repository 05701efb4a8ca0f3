#!/usr/bin/env bash
# Builds the packages on a fresh Debian machine (as root): installs what the
# two Release builds need, builds the Linux program with its window module
# and the 32-bit Windows program (no tests), and leaves in build/packages
#   oskeltztex_VERSION-1_amd64.deb   (CPack DEB; dependencies by dpkg-shlibdeps)
#   OskeltZTEX-VERSION-win32.zip     (CPack ZIP)
# Tests nothing: tests/package/check_packages.sh checks them (tools/test.sh
# runs both).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh cmake ninja-build g++ qt6-base-dev libgl-dev fonts-dejavu-core g++-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev file gzip

jobs=$(nproc)
out=build/packages

echo "Linux Release build (build/pkg-linux)"
cmake -S . -B build/pkg-linux -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DOSKELT_TESTS=OFF -DOSKELT_BENCH=OFF -DOSKELT_QT=ON >/dev/null
cmake --build build/pkg-linux -j "$jobs" >/dev/null

echo "Windows 32-bit Release build (build/pkg-win32)"
cmake -S . -B build/pkg-win32 -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DOSKELT_TESTS=OFF >/dev/null
cmake --build build/pkg-win32 -j "$jobs" >/dev/null

rm -rf "$out"
mkdir -p "$out"
cpack --config build/pkg-linux/CPackConfig.cmake -B "$out" >/dev/null
cpack --config build/pkg-win32/CPackConfig.cmake -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"

echo "Packages in $out:"
ls -l "$out" | sed -n '2,$p'
