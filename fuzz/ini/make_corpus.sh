#!/usr/bin/env bash
# Writes the seed corpus of the folder-map fuzz target: bash fuzz/ini/make_corpus.sh
# Small INI files of every shape the loader meets, and two that reach the
# reader's 32,767-byte limits.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/corpus
rm -rf "$out"
mkdir -p "$out"
n=0
seed() { n=$((n + 1)); printf "$1" >"$out/$(printf '%02d' $n).ini"; }
seed '[Armor]\nKnight_Helmet.tga\nKnight_Shield.tga\n\n[Worlds\\Stone]\nStone_Wall.tga\nCobble_Path.tga\n\n[Effects]\nGlow_Ring.tga\n'
seed '; comment\n[walls]\nstone.tga\n[Floors]\nSTONE.TGA\nwood.tga\n[walls2]\nStone.Tga\n'
seed '[First]\ndup.tga\n[Second]\nDUP.tga\n[Third]\ndup.TGA\ndup.tga\n'
seed '[Empty]\n[Also Empty]\n[Last]\n'
seed 'no.tga\nheader.tga\n'
seed ''
seed '\xef\xbb\xbf[Bom]\r\nline.tga\r\n  spaced.tga  \r\n\tkey=value.tga\r\n'
seed '[Walls]\nstone.tga\n[walls]\nbrick.tga\n[WALLS]\nSTONE.tga\n'
seed '[Open\nx.tga\n[]\ny.tga\n[ Trim ]\nz.tga\n[a]b]\nq.tga\n'
seed '[Nul]\na.tga\0b.tga\n[Other]\0\nc.tga\n'
seed '[High\xe9]\nk\xe9ep.tga\nK\xc9EP.TGA\n\xff\x80.tga\n'
seed '[p]\na_b.tga\nA^B.tga\na`b.tga\nA]B.tga\nA@B.tga\n;not a line\n'
long=$(printf 'n%.0s' $(seq 1 300))
seed "[$long]\n$long.tga\n[s]\n$long\n"
# More section names than 32,767 bytes hold (few long names: the reader
# reads the file again for every section).
pad=$(printf 's%.0s' $(seq 1 4000))
{ for i in $(seq 1 9); do printf '[%s_%03d]\nt%03d.tga\n' "$pad" "$i" "$i"; done; } >"$out/$(printf '%02d' $((n + 1))).ini"
n=$((n + 1))
# More lines in one section than 32,767 bytes hold.
{ printf '[big]\n'; for i in $(seq 1 2600); do printf 'line_%05d.tga\n' "$i"; done; printf '[after]\nlast.tga\n'; } >"$out/$(printf '%02d' $((n + 1))).ini"
n=$((n + 1))
echo "$n seeds in $out"
