#!/usr/bin/env bash
# The Linux and the Windows program on the same textures: both must write
# byte-identical TGA files, leave the same files untouched, log the same
# lines (the platforms' message texts aside) and end with the same code.
# The Windows program's standard output is a file: it must hold the Linux
# program's standard output line for line (with CRLF line ends), before
# anyone closes the window that a run with errors leaves open.
#
#   tools/cross-compare.sh LINUX_PROGRAM ZTEXGEN WINDOWS_PROGRAM WINE_LOG_TOOL
#
# The Windows program runs under Wine in a private display session
# (tools/wine-gui.sh), or in the session the script is called from; the
# 32-bit build with the 32-bit loader, the 64-bit one with wine64
# (tools/wine-run.sh). WINE_LOG_TOOL (oskelt_wine_log.exe of the same build)
# reads its log pane and gives it the file as standard output.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$1 gen=$2 windows=$3 winlog=$4
work=$(mktemp -d /tmp/oskelt-cross.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Scenario "mixed": every format, odd sizes and mip chains, mapped and
# unmapped names, a TGA that is already in place, and broken textures.
mixed=$work/mixed/_compiled
mkdir -p "$mixed" "$work/mixed/Armor"
t() { "$gen" "$@" >/dev/null; }
t --format dxt1     --size 64x64 --mips 4 --pattern letter    "$mixed/Knight_Helmet-C.TEX"
t --format dxt3     --size 64x48 --mips 3 --pattern quadrants "$mixed/Knight_Shield-C.TEX"
t --format r5g6b5   --size 48x32 --mips 2 --pattern gradient  "$mixed/Stone_Wall-C.TEX"
t --format dxt1a    --size 32x32 --mips 3 --pattern rings     "$mixed/Cobble_Path-C.TEX"
t --format a8r8g8b8 --size 64x64 --mips 1 --pattern rings     "$mixed/Glow_Ring-C.TEX"
n=0
for format in a4r4g4b4 a1r5g5b5 r5g6b5 a8r8g8b8 dxt1 dxt1a dxt3; do
  for size in 1x1 3x5 17x9 130x6; do
    n=$((n + 1))
    t --format $format --size $size --mips 1 --pattern noise --seed $n "$mixed/${format}_$size-C.TEX"
  done
done
t --format dxt5     --size 32x32 --mips 1                     "$mixed/Smoke_Puff-C.TEX"
t --format 5        --size 16x16 --mips 1                     "$mixed/Old_Format-C.TEX"
t --format dxt1     --size 16x16 --mips 1 --bad-signature     "$mixed/Not_A_Texture-C.TEX"
t --format dxt3     --size 32x32 --mips 2 --truncate 100      "$mixed/Cut_Short-C.TEX"
t --format dxt1     --size 64x64 --mips 1 --keep 20           "$mixed/Header_Only-C.TEX"
printf 'already converted' >"$work/mixed/Armor/Knight_Shield.tga"

# Scenario "clean": good textures only, so both programs end by themselves.
clean=$work/clean/_compiled
mkdir -p "$clean"
cp "$mixed"/Knight_Helmet-C.TEX "$mixed"/Stone_Wall-C.TEX "$mixed"/dxt1a_17x9-C.TEX "$clean/"

for scenario in mixed clean; do
  cp -r "$work/$scenario" "$work/$scenario.linux"
  mv "$work/$scenario" "$work/$scenario.windows"
done

# The platforms' message texts differ; everything else of a line must not.
unsorted() { tr -d '\r' <"$1" | sed -E 's/^(ERROR: .*) \(.*\)$/\1 ()/'; }
normalise() { unsorted "$1" | sort; }
# Every line of a file ends with CRLF.
crlf_lines() { [ "$(grep -c $'\r$' "$1")" = "$(wc -l <"$1")" ] && [ -z "$(tail -c 1 "$1")" ]; }

status=0
for scenario in mixed clean; do
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY "$linux" -C "$work/$scenario.linux" >"$work/$scenario.linux.log" 2>/dev/null
  linux_code=$?
  wine_work="Z:${work//\//\\}"
  "$here/wine-gui.sh" bash "$here/wine-run.sh" \
    "$winlog" "$windows" "$wine_work\\$scenario.windows" "$wine_work\\$scenario.windows.log" \
    "$wine_work\\$scenario.windows.out" "$wine_work\\$scenario.windows.open" >"$work/$scenario.wine.out" 2>&1
  windows_code=$?
  set -e
  echo "$scenario: Linux exit code $linux_code, Windows exit code $windows_code"
  if [ "$linux_code" != "$windows_code" ]; then
    echo "FAILED: $scenario: exit codes differ"; cat "$work/$scenario.wine.out"; status=1
  fi
  if ! diff -r "$work/$scenario.linux" "$work/$scenario.windows" >"$work/diff" 2>&1; then
    echo "FAILED: $scenario: the folders differ"; cat "$work/diff"; status=1
  else
    echo "$scenario: $(find "$work/$scenario.linux" -name '*.tga' | wc -l) TGA files byte-identical"
  fi
  if [ "$windows_code" != 0 ]; then
    if ! diff <(normalise "$work/$scenario.linux.log") <(normalise "$work/$scenario.windows.log") >"$work/diff"; then
      echo "FAILED: $scenario: the logs differ"; cat "$work/diff"; status=1
    else
      echo "$scenario: $(grep -c . "$work/$scenario.linux.log") log lines alike"
    fi
  fi
  # Standard output: the whole of it once a clean run has ended the program;
  # after a run with errors, all of it already while the window was open,
  # and nothing more after it was closed.
  output=$work/$scenario.windows.out
  if [ "$windows_code" != 0 ]; then
    if ! cmp -s "$work/$scenario.windows.open" "$output"; then
      echo "FAILED: $scenario: standard output changed after the window was closed"
      diff <(tr -d '\r' <"$work/$scenario.windows.open") <(tr -d '\r' <"$output") || true
      status=1
    fi
    output=$work/$scenario.windows.open
  fi
  if ! diff <(unsorted "$work/$scenario.linux.log") <(unsorted "$output") >"$work/diff"; then
    echo "FAILED: $scenario: the standard outputs differ"; cat "$work/diff"; status=1
  elif ! crlf_lines "$output"; then
    echo "FAILED: $scenario: a line of the Windows standard output lacks its CRLF"; status=1
  else
    echo "$scenario: $(wc -l <"$output") lines of standard output alike"
  fi
done
exit $status
