#!/usr/bin/env bash
# The Windows test suites under Wine, all in one Wine session (display,
# prefix and server, tools/wine-gui.sh), on the builds of the presets win32
# and win64 and the Linux Release build (tools/test.sh makes them first):
#
#   bash tools/test-windows.sh
#
# Where 32-bit programs run (tools/runs-32bit.sh --wine), the 32-bit build,
# the program the zip ships, runs every suite: the unit tests, the resources
# read back out of the executable, the dialog driven from a second program
# through its windows (with the kill and publish scenarios), and the
# cross-comparison with the Linux program; the 64-bit build runs its unit
# tests, its resources and the cross-comparison. Elsewhere the 64-bit build
# runs every suite in place of the shipped one, the 32-bit build only the
# resources check, and a notice says that the shipped build was not
# executed. One line per suite names the build it executed; the lines are
# printed at the end and appended to the file $OSKELT_SUMMARY when set.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -n "${OSKELT_WINE_SESSION:-}" ] || exec bash tools/wine-gui.sh bash tools/test-windows.sh "$@"

linux=build/linux/src/host/linux/Release/OskeltZTEX
gen=build/linux/tools/ztexgen/Release/ztexgen
results=$(mktemp -d /tmp/oskelt-windows-tests.XXXXXX)
trap 'rm -rf "$results"' EXIT
lines=$results/summary

note() { printf '  %-34s %s\n' "$1" "$2" >>"$lines"; }

# Passed and skipped tests of one GoogleTest XML report.
gtest_counts() {
  /usr/bin/python3 - "$1" <<'PY'
import sys
import xml.etree.ElementTree as ET
passed = skipped = failed = 0
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    if case.get("status") == "notrun":
        continue
    if case.find("failure") is not None:
        failed += 1
    elif case.find("skipped") is not None or case.get("result") == "skipped":
        skipped += 1
    else:
        passed += 1
print("%d tests passed, %d skipped%s" % (passed, skipped, ", %d FAILED" % failed if failed else ""))
PY
}

# The tests of a test preset, then a line for each suite that ran.
#   run_ctest PRESET LABEL [CTEST_ARGS...]
run_ctest() {
  local preset=$1 label=$2 xml=$results/$1 name
  shift 2
  mkdir -p "$xml"
  GTEST_OUTPUT="xml:Z:$xml/" ctest --preset "$preset" "$@"
  for name in $(ctest --preset "$preset" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p'); do
    case $name in
      unit_wine) note "unit tests" "$label: $(gtest_counts "$xml/oskelt_tests.xml")" ;;
      wine_dialog) note "dialog, kill and publish" "$label: $(gtest_counts "$xml/oskelt_wine_dialog_tests.xml")" ;;
      resources) note "resources of the executable" "$label: passed" ;;
      *) note "$name" "$label: passed" ;;
    esac
  done
}

# The cross-comparison of one build with the Linux program.
#   run_cross BUILD_DIR LABEL
run_cross() {
  local out=$results/cross
  echo "Cross-comparison with the Linux program: $1"
  if ! bash tools/cross-compare.sh "$linux" "$gen" "$1/src/host/win32/OskeltZTEX.exe" \
      "$1/tests/cross/oskelt_wine_log.exe" >"$out" 2>&1; then
    cat "$out"
    return 1
  fi
  cat "$out"
  note "cross-comparison with Linux" "$2: 2 runs alike, $(awk '/TGA files byte-identical$/ {n += $2} END {print n}' "$out") TGA files byte-identical"
}

shipped="32-bit build (the zip's program)"
if bash tools/runs-32bit.sh --wine; then
  run_ctest win32 "$shipped"
  run_cross build/win32 "$shipped"
  run_ctest win64 "64-bit build" -R '^(unit_wine|resources)$'
  run_cross build/win64 "64-bit build"
else
  why="this machine does not run 32-bit programs under Wine (a kernel without IA32 emulation, or no wine32:i386)"
  [ -z "${OSKELT_NO_WINE32:-}" ] || why="OSKELT_NO_WINE32 is set"
  notice="NOT EXECUTED: the shipped 32-bit build; $why. The 64-bit build ran its suites instead."
  echo "$notice"
  echo "  $notice" >>"$lines"
  run_ctest win32 "$shipped, read only" -R '^resources$'
  run_ctest win64 "64-bit build, not the shipped one"
  run_cross build/win64 "64-bit build, not the shipped one"
fi

echo
echo "Windows suites and the build each executed:"
cat "$lines"
[ -z "${OSKELT_SUMMARY:-}" ] || cat "$lines" >>"$OSKELT_SUMMARY"
