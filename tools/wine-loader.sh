#!/usr/bin/env bash
# Prints the Wine loader that runs the Windows program EXE: the 32-bit
# loader for a PE32 file, wine64 for a PE32+ file. Fails with a message when
# the file is neither, or when that loader is not installed.
#
#   tools/wine-loader.sh EXE
set -u
exe=$1
[ -f "$exe" ] || { echo "wine-loader: no file $exe" >&2; exit 1; }
# The PE header's offset is at 0x3C; its optional header's magic, 24 bytes
# behind the "PE\0\0" signature, is 0x10B for PE32 and 0x20B for PE32+.
at=$(od -An -tu4 -j60 -N4 "$exe" 2>/dev/null | tr -d ' ')
magic=$([ -n "$at" ] && od -An -tx2 -j$((at + 24)) -N2 "$exe" 2>/dev/null | tr -d ' ')
case "$magic" in
  010b) loader=/usr/lib/wine/wine what="a 32-bit program: Debian's wine32:i386 is needed" ;;
  020b) loader=/usr/lib/wine/wine64 what="a 64-bit program: Debian's wine64 is needed" ;;
  *) echo "wine-loader: $exe is no Windows program" >&2; exit 1 ;;
esac
[ -x "$loader" ] || { echo "wine-loader: $exe is $what ($loader)" >&2; exit 1; }
echo "$loader"
