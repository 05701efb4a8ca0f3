#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds every target
# (Linux Debug and Release, ASan+UBSan, TSan, Windows 32-bit and 64-bit, the
# fuzz targets) and runs the tests natively, under the sanitizers and under
# Wine (tools/test-windows.sh: the shipped 32-bit build where 32-bit programs
# run); then builds the packages (tools/package.sh) and checks them,
# installing the .deb and removing it again. Its last lines name the Windows
# build that each suite executed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
# Each Windows suite, and the package check, names here the build it ran.
OSKELT_SUMMARY=$(mktemp /tmp/oskelt-summary.XXXXXX)
export OSKELT_SUMMARY
trap 'rm -f "$OSKELT_SUMMARY"' EXIT

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
cmake --install build/win32 --prefix build/release/OskeltZTEX-win32 --component Unspecified >/dev/null
echo "Release artifact: build/release/OskeltZTEX-win32 ($(ls build/release/OskeltZTEX-win32 | tr '\n' ' '))"

step "Windows 64-bit build"
cmake --preset win64 >/dev/null
if bash tools/runs-32bit.sh --wine; then
  # The 32-bit build runs every Windows suite; this one its unit tests and
  # the cross-comparison only.
  cmake --build --preset win64 -j "$jobs" --target OskeltZTEX oskelt_tests oskelt_wine_log
else
  cmake --build --preset win64 -j "$jobs"
fi

step "Windows tests under Wine, and the Linux and the Windows program on the same textures"
bash tools/test-windows.sh

step "Fuzz targets (short runs)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for smoke in fuzz/*/smoke.sh; do
  [ -f "$smoke" ] && bash "$smoke" build/fuzz
done

step "Packages: the .deb and the Windows zip, built and checked as a user gets them"
bash tools/package.sh
bash tests/package/check_packages.sh build/packages

step "Windows builds executed, suite by suite"
cat "$OSKELT_SUMMARY"

step "All tests passed"
