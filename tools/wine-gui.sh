#!/usr/bin/env bash
# Runs a command inside a Wine session with a display: a private Xvfb server,
# a fresh prefix under /tmp made ready for dialogs (Wine draws the window
# frames itself, so hiding a window costs no wait for a window manager), and
# a persistent wineserver. Everything is removed afterwards; the command's
# exit code is passed on. The prefix is made by wine64 and runs 32-bit
# programs too where Debian's wine32 is installed.
#
#   tools/wine-gui.sh COMMAND [ARGS...]
#
# The command sees DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and
# WINE64 (the wine64 loader) in its environment, and the prefix's drive T:
# linked to $OSKELT_WINE_T when that is set (folder pickers behave better on
# a drive letter of their own than below Z:). Called again from inside the
# command (a test that ctest starts within the session), it runs its command
# in the session it is in: one prefix and server serve every suite.
set -u
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
export WINE64=$wine64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
link_drive_t() {
  [ -z "${OSKELT_WINE_T:-}" ] || ln -sfn "$OSKELT_WINE_T" "$WINEPREFIX/dosdevices/t:"
}
if [ -n "${OSKELT_WINE_SESSION:-}" ] && [ "$OSKELT_WINE_SESSION" = "${WINEPREFIX:-}" ] &&
   [ -d "$WINEPREFIX/dosdevices" ] && [ -n "${DISPLAY:-}" ]; then
  link_drive_t
  exec "$@"
fi
WINEPREFIX=$(mktemp -d /tmp/oskelt-wine-gui.XXXXXX)
export WINEPREFIX

# A free display number, and a server on it.
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "wine-gui: no free X display" >&2; exit 2; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.05
done

cleanup() {
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# The first Wine call makes the prefix. Now and then that fails half-way
# ("could not load kernel32.dll"), and every later call would fail with it:
# the prefix is made anew, at most three times, and a failure is shown.
log=$(mktemp /tmp/oskelt-wine-gui-log.XXXXXX)
ready=
for attempt in 1 2 3; do
  "$wineserver" -p
  if "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$log" 2>&1; then
    ready=1
    break
  fi
  echo "wine-gui: making the Wine prefix failed (attempt $attempt):" >&2
  cat "$log" >&2
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
done
[ -n "$ready" ] || { rm -f "$log"; exit 2; }
link_drive_t
rm -f "$log"
export OSKELT_WINE_SESSION=$WINEPREFIX

"$@"
