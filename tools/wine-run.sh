#!/usr/bin/env bash
# Runs one Windows program under Wine and passes on its exit code: a 32-bit
# program with the 32-bit loader (/usr/lib/wine/wine, Debian's wine32), a
# 64-bit one with wine64; both run in a prefix made by wine64.
# Wine's output goes to a file, never into a pipe: its helper processes
# inherit the descriptor and would hold a reader (ctest, a pipe) open.
# Uses $WINEPREFIX when set (the caller owns it), otherwise a fresh prefix
# under /tmp that is removed afterwards.
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=$1; shift
loader=$(bash "$here/wine-loader.sh" "$exe") || exit 2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/oskelt-wine.XXXXXX)
  export WINEPREFIX
  own_prefix=1
fi
out=$(mktemp /tmp/oskelt-wine-out.XXXXXX)
"$loader" "$exe" "$@" >"$out" 2>&1 </dev/null
rc=$?
tr -d '\r' <"$out"
rm -f "$out"
if [ "$own_prefix" = 1 ]; then
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  rm -rf "$WINEPREFIX"
fi
exit "$rc"
