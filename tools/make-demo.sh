#!/usr/bin/env bash
# Regenerates the bundled demo textures in demo/_compiled with ztexgen.
# Usage: tools/make-demo.sh [ZTEXGEN]   (default: builds it in build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."
gen=${1:-}
if [ -z "$gen" ]; then
  cmake --preset linux >/dev/null
  cmake --build build/linux --config Release --target ztexgen >/dev/null
  gen=build/linux/tools/ztexgen/Release/ztexgen
fi
out=demo/_compiled
rm -rf "$out"
mkdir -p "$out"
t() { "$gen" "$@"; }
# Decodable textures; the first five are listed in the default folder map.
t --format dxt1     --size 64x64 --mips 4 --pattern letter    "$out/Knight_Helmet-C.TEX"
t --format dxt3     --size 64x48 --mips 3 --pattern quadrants "$out/Knight_Shield-C.TEX"
t --format r5g6b5   --size 48x32 --mips 2 --pattern gradient  "$out/Stone_Wall-C.TEX"
t --format dxt1a    --size 32x32 --mips 3 --pattern rings     "$out/Cobble_Path-C.TEX"
t --format a8r8g8b8 --size 64x64 --mips 1 --pattern rings     "$out/Glow_Ring-C.TEX"
t --format a4r4g4b4 --size 40x24 --mips 1 --pattern gradient  "$out/Banner-C.TEX"
t --format a1r5g5b5 --size 36x20 --mips 2 --pattern noise --seed 7 "$out/Cloth-C.TEX"
t --format dxt1     --size 30x18 --mips 1 --pattern quadrants "$out/odd_sized-c.tex"
# One of each kind that cannot be converted, so the log shows its errors.
t --format dxt5     --size 32x32 --mips 1 --pattern rings     "$out/Smoke_Puff-C.TEX"
t --format 5        --size 16x16 --mips 1                     "$out/Old_Format-C.TEX"
t --format dxt1     --size 16x16 --mips 1 --bad-signature     "$out/Not_A_Texture-C.TEX"
t --format dxt3     --size 32x32 --mips 2 --truncate 100      "$out/Cut_Short-C.TEX"
ls -l "$out"
