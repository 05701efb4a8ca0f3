#!/usr/bin/env bash
# Writes the seed corpus of the conversion fuzz target with ztexgen:
#   bash fuzz/convert/make_corpus.sh PATH/TO/ztexgen
# Every format with mip levels, odd sizes, and the broken kinds of file.
set -euo pipefail
gen=$1
out=$(cd "$(dirname "$0")" && pwd)/corpus
rm -rf "$out"
mkdir -p "$out"
n=0
seed() { n=$((n + 1)); "$gen" "$@" "$out/$(printf '%02d' $n)-C.TEX"; }
for f in a4r4g4b4 a1r5g5b5 r5g6b5 a8r8g8b8 dxt1 dxt1a dxt3 dxt5; do
  seed --format $f --size 8x4 --mips 3 --pattern quadrants
  seed --format $f --size 5x3 --mips 1 --pattern noise --seed $n
done
seed --format dxt1 --size 16x16 --mips 5 --pattern rings
seed --format dxt1a --size 12x8 --mips 2 --pattern letter
seed --format dxt3 --size 16x8 --mips 4 --pattern gradient
seed --format dxt1 --size 8x8 --bad-signature
seed --format dxt3 --size 8x8 --mips 2 --truncate 5
seed --format r5g6b5 --size 4x4 --keep 20
seed --format 5 --size 4x4 --mips 2
seed --format 14 --size 4x4
seed --format dxt1 --size 8x8 --mips 2 --mipmapcount 0
seed --format a8r8g8b8 --size 2x2 --mipmapcount 65537
seed --format a8r8g8b8 --size 6x4 --mips 2 --mipmapcount 3
seed --format a8r8g8b8 --size 4x1 --header-size 65536x1
seed --format a8r8g8b8 --size 4x4 --header-size 16384x16384
seed --format dxt1 --size 8x8 --header-size 2147483648x2147483648 --mipmapcount 32
seed --format a4r4g4b4 --size 4x2 --trailing 9
seed --format dxt1 --size 4096x24 --mips 2 --pattern gradient
echo "$n seeds in $out"
