#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every target
# (Linux Debug and Release, ASan+UBSan, TSan, Windows 32-bit and 64-bit, the
# fuzz targets) and runs the tests natively, under the sanitizers and under
# wine64; then builds the packages (tools/package.sh) and checks them,
# installing the .deb and removing it again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

jobs=$(nproc)
step() { printf '\n==== %s\n' "$*"; }

step "Linux build (Debug and Release)"
cmake --preset linux >/dev/null
cmake --build --preset linux-debug -j "$jobs"
cmake --build --preset linux-release -j "$jobs"
step "Linux tests (Debug)"
ctest --preset linux-debug -j "$jobs"
step "Linux tests (Release)"
ctest --preset linux-release -j "$jobs"

step "ASan + UBSan build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j "$jobs"

step "ThreadSanitizer build and the tests of what runs on several threads"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan -j "$jobs"

step "Windows 32-bit build (the shipped program)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
ctest --preset win32
cmake --install build/win32 --prefix build/release/OskeltZTEX-win32 --component Unspecified >/dev/null
echo "Release artifact: build/release/OskeltZTEX-win32 ($(ls build/release/OskeltZTEX-win32 | tr '\n' ' '))"

step "Windows 64-bit build and tests under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/oskelt-wine-ci.XXXXXX)
cleanup_wine() {
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup_wine EXIT
ctest --preset win64

step "The Linux and the Windows program on the same textures"
bash tools/cross-compare.sh build/linux/src/host/linux/Release/OskeltZTEX \
  build/linux/tools/ztexgen/Release/ztexgen build/win64/src/host/win32/OskeltZTEX.exe \
  build/win64/tests/cross/oskelt_wine_log.exe

step "Fuzz targets (short runs)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for smoke in fuzz/*/smoke.sh; do
  [ -f "$smoke" ] && bash "$smoke" build/fuzz
done

step "Packages: the .deb and the Windows zip, built and checked as a user gets them"
bash tools/package.sh
bash tests/package/check_packages.sh build/packages

step "All tests passed"
