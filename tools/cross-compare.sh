#!/usr/bin/env bash
# The Linux and the Windows program on the same textures: both must write
# byte-identical TGA files, leave the same files untouched, log the same
# lines (the platforms' message texts aside) and end with the same code.
#
#   tools/cross-compare.sh LINUX_PROGRAM ZTEXGEN WINDOWS_PROGRAM WINE_LOG_TOOL
#
# The Windows program runs under wine64 in a private display session
# (tools/wine-gui.sh); WINE_LOG_TOOL (oskelt_wine_log.exe) reads its log pane.
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
normalise() { tr -d '\r' <"$1" | sed -E 's/^(ERROR: .*) \(.*\)$/\1 ()/' | sort; }

status=0
for scenario in mixed clean; do
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY "$linux" -C "$work/$scenario.linux" >"$work/$scenario.linux.log" 2>/dev/null
  linux_code=$?
  "$here/wine-gui.sh" bash -c '"$WINE64" "$1" "$2" "$3" "$4" >"$5" 2>&1' _ \
    "$winlog" "$windows" "Z:${work//\//\\}\\$scenario.windows" \
    "Z:${work//\//\\}\\$scenario.windows.log" "$work/$scenario.wine.out"
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
done
exit $status
