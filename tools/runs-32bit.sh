#!/usr/bin/env bash
# Exits with 0 when this kernel runs 32-bit x86 programs, otherwise with 1.
# Needs nothing installed: it writes a 96-byte 32-bit ELF program that only
# exits with code 42 and runs it (a kernel without IA32 emulation refuses it
# with "Exec format error").
#
#   tools/runs-32bit.sh          the kernel runs 32-bit programs
#   tools/runs-32bit.sh --wine   and Debian's 32-bit Wine loader runs
#
# OSKELT_NO_WINE32=1 makes --wine answer no, to try the 64-bit fallback of
# the Windows tests on a machine that could run the 32-bit build.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/oskelt-32bit.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
# ELF header, one loadable segment at 0x08048000, then the code:
# mov eax, 1 (exit); mov ebx, 42; int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00''\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00''\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00''\x00\x00\x00\x00''\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08''\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00''\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$dir/probe"
chmod +x "$dir/probe"
"$dir/probe" 2>/dev/null
[ $? = 42 ] || exit 1
if [ "${1:-}" = --wine ]; then
  [ -z "${OSKELT_NO_WINE32:-}" ] || exit 1
  /usr/lib/wine/wine --version >/dev/null 2>&1 || exit 1
fi
exit 0
