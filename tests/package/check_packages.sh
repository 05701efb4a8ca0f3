#!/usr/bin/env bash
# Checks the packages that tools/package.sh made, as a user gets them.
#
#   tests/package/check_packages.sh [PACKAGES_DIR [WINE_LOG_TOOL]]
#
# (defaults build/packages and build/win32/tests/cross/oskelt_wine_log.exe,
# the log reader of the win32 preset's build)
#
# The .deb: its control fields (the version of the sources, dependencies
# computed by dpkg-shlibdeps), its exact file list and the symbolic link;
# the desktop entry (desktop-file-validate), the AppStream metadata
# (appstreamcli validate --no-net), the manual page (rendered by man without
# a warning), the icons, the copyright file. Then it is installed with
# apt-get: the installed /usr/bin/OskeltZTEX converts a copy of the demo
# textures in a folder elsewhere, and the desktop entry's Exec command opens
# the window under Xvfb (found by its title, owned by the installed program
# with the installed module loaded, and not blank); the package is removed
# again at the end.
#
# The zip: its exact entries, a 32-bit PE executable that imports no DLL but
# Windows' own, its resources intact, the folder map, and README.txt and
# LICENSE.txt with CRLF line ends only. Where 32-bit programs run under Wine
# (tools/runs-32bit.sh --wine), the zip's own OskeltZTEX.exe, unzipped with
# its folder map, converts a copy of the demo (WINE_LOG_TOOL reads its log
# and closes the window the errors leave open): its TGA files and log lines
# must be those of the installed Linux program's run. Elsewhere a line says
# that it was not executed.
#
# Runs as root (it installs a package); needs dpkg-dev, desktop-file-utils,
# appstream, man-db, file, unzip, xvfb, xauth, x11-utils, imagemagick,
# python3-pil, binutils-mingw-w64-i686, wine64 and wine32:i386 (tools/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
source_dir=$PWD
packages=$(realpath "${1:-build/packages}")
winlog=$(realpath -m "${2:-build/win32/tests/cross/oskelt_wine_log.exe}")
python=/usr/bin/python3

failures=0
pass() { printf '  ok    %s\n' "$*"; }
fail() { printf '  FAIL  %s\n' "$*"; failures=$((failures + 1)); }
check() { # check DESCRIPTION COMMAND...: the command's success is the check
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
same() { # same DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    pass "$1"
  else
    fail "$1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/        /' || true
  fi
}

work=$(mktemp -d /tmp/oskelt-packages.XXXXXX)
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q oskeltztex >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

version=$(sed -n 's/^project(OskeltZTEX VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
short_version=${version%.*}
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }

shopt -s nullglob
debs=("$packages"/*.deb)
zips=("$packages"/*.zip)
shopt -u nullglob
same "the packages folder holds one .deb and one zip, named by the version" \
  "OskeltZTEX-$version-win32.zip oskeltztex_$version-1_amd64.deb" \
  "$(cd "$packages" && ls -A | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
[ ${#debs[@]} = 1 ] && [ ${#zips[@]} = 1 ] || { echo "cannot go on without both packages" >&2; exit 1; }
deb=${debs[0]}
zip=${zips[0]}

echo "== $(basename "$deb")"

# --- Control fields -------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
same "Package, Version, Architecture" "oskeltztex $version-1 amd64" \
  "$(field Package) $(field Version) $(field Architecture)"
depends=$(field Depends)
echo "        Depends: $depends"
# Computed, not listed by hand: every library has the minimum version that
# dpkg-shlibdeps found in its symbols file.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  check "Depends names $lib with a computed minimum version" \
    grep -Eq "(^|, )${lib//+/\\+} \(>= [0-9][^)]*\)" <<<"$depends"
done
check "every dependency carries a version (from dpkg-shlibdeps)" \
  "$python" -c 'import re,sys; d=[x.strip() for x in sys.argv[1].split(",")]; sys.exit(not all(re.fullmatch(r"[a-z0-9.+-]+ \(>= [^)]+\)", x) for x in d))' "$depends"

# --- File list ------------------------------------------------------------
expected_files="-rw-r--r-- ./usr/lib/oskeltztex/OskeltZTEX.ini
-rw-r--r-- ./usr/lib/oskeltztex/OskeltZtexQt.so
-rw-r--r-- ./usr/share/applications/invalid.oskeltztex.OskeltZTEX.desktop
-rw-r--r-- ./usr/share/doc/oskeltztex/copyright
-rw-r--r-- ./usr/share/icons/hicolor/16x16/apps/oskeltztex.png
-rw-r--r-- ./usr/share/icons/hicolor/256x256/apps/oskeltztex.png
-rw-r--r-- ./usr/share/icons/hicolor/32x32/apps/oskeltztex.png
-rw-r--r-- ./usr/share/icons/hicolor/48x48/apps/oskeltztex.png
-rw-r--r-- ./usr/share/man/man1/OskeltZTEX.1.gz
-rw-r--r-- ./usr/share/metainfo/invalid.oskeltztex.OskeltZTEX.metainfo.xml
-rwxr-xr-x ./usr/lib/oskeltztex/OskeltZTEX
lrwxrwxrwx ./usr/bin/OskeltZTEX -> ../lib/oskeltztex/OskeltZTEX"
actual_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {
  line = $1; for (i = 6; i <= NF; i++) line = line " " $i; print line }' | sort)
same "file list, modes and the link /usr/bin/OskeltZTEX -> ../lib/oskeltztex/OskeltZTEX" \
  "$(sort <<<"$expected_files")" "$actual_files"
check "every entry is owned by root" \
  test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"

mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
root=$work/deb/usr
check "the program and the module are stripped ELF files" \
  bash -c 'for f in "$@"; do file -b "$f" | grep -q "^ELF 64-bit.*, stripped$" || exit 1; done' \
  sh "$root/lib/oskeltztex/OskeltZTEX" "$root/lib/oskeltztex/OskeltZtexQt.so"
check "the program links no Qt library (the module does)" \
  bash -c '! objdump -p "$1" | grep -q "NEEDED.*Qt" && objdump -p "$2" | grep -q "NEEDED.*libQt6Widgets"' \
  sh "$root/lib/oskeltztex/OskeltZTEX" "$root/lib/oskeltztex/OskeltZtexQt.so"
check "the folder map is res/OskeltZTEX.ini" cmp -s res/OskeltZTEX.ini "$root/lib/oskeltztex/OskeltZTEX.ini"

# --- Desktop entry, AppStream, icons ---------------------------------------
desktop=$(ls "$root"/share/applications/*.desktop)
if desktop-file-validate "$desktop" >"$work/dfv" 2>&1 && [ ! -s "$work/dfv" ]; then
  pass "desktop-file-validate: no message"
else
  fail "desktop-file-validate"; sed 's/^/        /' "$work/dfv"
fi
desktop_key() { sed -n "s/^$1=//p" "$desktop"; }
metainfo=$(ls "$root"/share/metainfo/*.metainfo.xml)
if appstreamcli validate --no-net "$metainfo" >"$work/asv" 2>&1; then
  pass "appstreamcli validate --no-net"
else
  fail "appstreamcli validate --no-net"; sed 's/^/        /' "$work/asv"
fi
check "AppStream: identifier, launchable, version, screenshot with its size" \
  "$python" - "$metainfo" "$(basename "$desktop")" "$version" docs/screenshot-linux.png <<'PY'
import sys
import xml.etree.ElementTree as ET
from PIL import Image
metainfo, desktop, version, shot = sys.argv[1:]
c = ET.parse(metainfo).getroot()
ok = c.findtext("id") + ".desktop" == desktop
ok &= c.find("launchable[@type='desktop-id']").text == desktop
ok &= c.find("releases/release").get("version") == version
ok &= c.findtext("project_license") == "MIT"
image = c.find("screenshots/screenshot[@type='default']/image")
w, h = Image.open(shot).size
ok &= image.text.startswith("https://") and image.text.endswith("/screenshot-linux.png")
ok &= (image.get("width"), image.get("height")) == (str(w), str(h))
sys.exit(0 if ok else 1)
PY
icon=$(desktop_key Icon)
check "icon '$icon' in the hicolor sizes 16, 32, 48, 256, the committed pictures" \
  bash -c 'for n in 16 32 48 256; do cmp -s "res/OskeltZTEX-$n.png" "$1/share/icons/hicolor/${n}x$n/apps/$2.png" || exit 1
    [ "$(identify -format "%wx%h" "$1/share/icons/hicolor/${n}x$n/apps/$2.png")" = "${n}x$n" ] || exit 1; done' \
  sh "$root" "$icon"

# --- Manual page ------------------------------------------------------------
page=$root/share/man/man1/OskeltZTEX.1.gz
check "the manual page is gzip data with no name and no time stamp" \
  bash -c 'gzip -t "$1" && [ "$(od -An -tx1 -j3 -N5 "$1" | tr -d " ")" = "0000000000" ]' sh "$page"
MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" || true
if [ -s "$work/man.txt" ] && [ ! -s "$work/man.err" ]; then
  pass "man --warnings renders OskeltZTEX(1) with no warning"
else
  fail "man --warnings -l OskeltZTEX.1.gz"; sed 's/^/        /' "$work/man.err"
fi
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "WINDOW AND CONSOLE" "FOLDER MAP" "EXIT STATUS" FILES; do
  check "manual page section $heading" grep -q "^$heading\$" "$work/man.txt"
done
check "manual page: version $short_version, the options, trusted folder map" \
  bash -c 'grep -q "^OskeltZTEX $3 " "$1" && grep -q -- "--version" "$1" && grep -q -- "-C \[basedir\]" "$1" &&
    tr "\n" " " <"$1" | tr -s " " | grep -q "trusted configuration" && grep -q "$2" "$1"' \
  sh "$work/man.txt" "/usr/lib/oskeltztex/OskeltZTEX.ini" "$short_version"

# --- Copyright --------------------------------------------------------------
check "copyright: machine-readable format, MIT, the text of LICENSE" \
  "$python" - "$root/share/doc/oskeltztex/copyright" LICENSE <<'PY'
import sys
copyright, licence = (open(p).read() for p in sys.argv[1:])
ok = copyright.startswith(
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")
paragraphs = copyright.split("\n\n")
files = dict(l.split(": ", 1) for l in paragraphs[1].splitlines())
ok &= files.get("Files") == "*" and files.get("License") == "MIT"
ok &= "The OskeltZTEX authors" in files.get("Copyright", "")
body = paragraphs[2].splitlines()
ok &= body[0] == "License: MIT"
text = "\n".join("" if l == " ." else l[1:] for l in body[1:])
ok &= text.strip() == licence[licence.index("Permission is hereby granted"):].strip()
sys.exit(0 if ok else 1)
PY

# --- Installed -------------------------------------------------------------
if dpkg-query -W -f='${Status}' oskeltztex 2>/dev/null | grep -q "ok installed"; then
  echo "        oskeltztex is installed already: removing it first"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q oskeltztex >/dev/null
fi
installed=1
if DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1; then
  pass "apt-get install ./$(basename "$deb")"
else
  fail "apt-get install"; sed 's/^/        /' "$work/apt.log"
  exit 1
fi
same "/usr/bin/OskeltZTEX resolves to /usr/lib/oskeltztex/OskeltZTEX" \
  /usr/lib/oskeltztex/OskeltZTEX "$(readlink -f /usr/bin/OskeltZTEX)"

same "--version of the installed program" "OskeltZTEX ${short_version}" "$(/usr/bin/OskeltZTEX --version)"
check "--help names the installed folder map" \
  grep -qx "Folder map: /usr/lib/oskeltztex/OskeltZTEX.ini" <(/usr/bin/OskeltZTEX --help)

# A copy of the demo in a folder elsewhere, converted in the console.
mkdir -p "$work/elsewhere/Textures"
cp -r demo/_compiled "$work/elsewhere/Textures/"
set +e
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/OskeltZTEX -C elsewhere/Textures \
  >"$work/run.out" 2>"$work/run.err")
code=$?
set -e
same "console run over the demo: exit code 1 (four textures broken on purpose)" 1 "$code"
same "its summary on standard output" "Summary:
  Processed: 12
  Skipped: 0
  Errors: 4" "$(sed -n '/^Summary:/,$p' "$work/run.out")"
same "the four broken textures in the log" "4" "$(grep -c '^ERROR: _compiled\\' "$work/run.out")"
same "nothing on standard error" "" "$(cat "$work/run.err")"
same "the TGA files, sorted by the installed folder map" "Armor/Knight_Helmet.tga
Armor/Knight_Shield.tga
Banner.tga
Cloth.tga
Effects/Glow_Ring.tga
Worlds/Stone/Cobble_Path.tga
Worlds/Stone/Stone_Wall.tga
odd_sized.tga" "$(cd "$work/elsewhere/Textures" && find . -name '*.tga' | sed 's#^\./##' | LC_ALL=C sort)"
check "each TGA file opens in Pillow as an image of the texture's size" \
  "$python" - "$work/elsewhere/Textures" <<'PY'
import pathlib, sys
from PIL import Image
ok = True
for tga in sorted(pathlib.Path(sys.argv[1]).rglob("*.tga")):
    with Image.open(tga) as image:
        image.load()
        ok &= image.format == "TGA" and image.width > 0 and image.height > 0
sys.exit(0 if ok else 1)
PY

# The window, as the desktop starts it: the Exec command of the installed
# entry, under Xvfb.
installed_desktop=/usr/share/applications/$(basename "$desktop")
exec_line=$(sed -n 's/^Exec=//p' "$installed_desktop" | sed 's/ *%[fFuUdDnNickvm]//g')
mkdir -p "$work/xdg" "$work/start"
chmod 700 "$work/xdg"
cat >"$work/window.sh" <<'EOF'
set -u
exec_line=$1; title=$2; shot=$3; work=$4; source_dir=$5
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export XDG_RUNTIME_DIR=$work/xdg
cd "$work/start"
# shellcheck disable=SC2086 # the Exec line is a command and its arguments
$exec_line >"$work/window.out" 2>"$work/window.err" &
pid=$!
found=0
for _ in $(seq 100); do
  if xwininfo -name "$title" >/dev/null 2>&1; then found=1; break; fi
  sleep 0.1
done
result=1
if [ "$found" = 1 ]; then
  window_pid=$(xprop -id "$(xwininfo -name "$title" | awk '/Window id:/ {print $4}')" _NET_WM_PID |
    awk '{print $3}')
  echo "window_pid=$window_pid pid=$pid"
  echo "exe=$(readlink "/proc/$pid/exe")"
  grep -o '/usr/lib/oskeltztex/OskeltZtexQt.so' "/proc/$pid/maps" | sort -u | sed 's/^/module=/'
  bash "$source_dir/tools/shoot-window.sh" "$title" "$shot" 10 1 && result=0
  kill -0 "$pid" 2>/dev/null && echo "running=yes"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit "$result"
EOF
if xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/window.sh" "$exec_line" "OskeltZTEX $short_version" \
    "$work/window.png" "$work" "$source_dir" >"$work/window.log" 2>&1; then
  pass "the Exec command '$exec_line' opens a window titled 'OskeltZTEX $short_version'"
  same "the window belongs to the installed program, with the installed module loaded" \
    "exe=/usr/lib/oskeltztex/OskeltZTEX
module=/usr/lib/oskeltztex/OskeltZtexQt.so
running=yes" "$(grep -E '^(exe|module|running)=' "$work/window.log")"
  window_pid=$(sed -n 's/^window_pid=\([0-9]*\) pid=\([0-9]*\)$/\1 \2/p' "$work/window.log")
  check "the window's _NET_WM_PID is the started process" \
    test -n "$window_pid" -a "${window_pid% *}" = "${window_pid#* }"
  check "the window's picture is not blank (some colours, some contrast)" \
    "$python" - "$work/window.png" <<'PY'
import sys
from PIL import Image, ImageStat
image = Image.open(sys.argv[1]).convert("RGB")
colours = image.getcolors(1 << 24)
spread = ImageStat.Stat(image.convert("L")).stddev[0]
print("        window %dx%d, %d colours, grey spread %.1f" % (*image.size, len(colours), spread))
sys.exit(0 if image.width >= 300 and image.height >= 200 and len(colours) >= 8 and spread > 10 else 1)
PY
else
  fail "the Exec command '$exec_line' opens a window titled 'OskeltZTEX $short_version'"
  sed 's/^/        /' "$work/window.log" "$work/window.err" 2>/dev/null || true
fi
[ -n "${OSKELT_KEEP_WINDOW_SHOT:-}" ] && cp "$work/window.png" "$OSKELT_KEEP_WINDOW_SHOT" 2>/dev/null || true

if DEBIAN_FRONTEND=noninteractive apt-get purge -y -q oskeltztex >"$work/apt.log" 2>&1; then
  installed=0
  check "removed again: no /usr/bin/OskeltZTEX, no /usr/lib/oskeltztex" \
    test ! -e /usr/bin/OskeltZTEX -a ! -L /usr/bin/OskeltZTEX -a ! -e /usr/lib/oskeltztex
else
  fail "apt-get purge oskeltztex"; sed 's/^/        /' "$work/apt.log"
fi

echo "== $(basename "$zip")"
top=OskeltZTEX-$version-win32
same "zip entries" "$top/LICENSE.txt
$top/OskeltZTEX.exe
$top/OskeltZTEX.ini
$top/README.txt" "$(unzip -Z1 "$zip" | LC_ALL=C sort)"
check "no DLL in the zip" test -z "$(unzip -Z1 "$zip" | grep -i '\.dll$')"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
exe=$work/zip/$top/OskeltZTEX.exe
description=$(file -b "$exe")
echo "        file: $description"
check "file: a PE32 executable for Intel 80386 (32-bit Windows)" \
  grep -Eq '^PE32 executable \(GUI\) Intel 80386' <<<"$description"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort)
echo "        imports: $(echo $imports)"
check "it imports only Windows' own DLLs (the runtime is linked in)" \
  test -z "$(grep -Evx 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|COMDLG32.DLL|SHELL32.DLL|OLE32.DLL|ADVAPI32.DLL|MSVCRT.DLL' <<<"$imports")"
if "$python" tests/resources/check_resources.py i686-w64-mingw32-windres "$exe" X86 >"$work/res.log" 2>&1; then
  pass "its resources: $(tail -1 "$work/res.log")"
else
  fail "its resources"; sed 's/^/        /' "$work/res.log"
fi
check "OskeltZTEX.ini is res/OskeltZTEX.ini" cmp -s res/OskeltZTEX.ini "$work/zip/$top/OskeltZTEX.ini"
for text in README.txt LICENSE.txt; do
  check "$text: CRLF line ends, no bare LF or CR, ends with a line end" \
    "$python" -c 'import sys; d = open(sys.argv[1], "rb").read()
sys.exit(not (d and d.endswith(b"\r\n") and d.count(b"\n") == d.count(b"\r\n") == d.count(b"\r")))' \
    "$work/zip/$top/$text"
done
check "LICENSE.txt is LICENSE with CRLF line ends" \
  bash -c 'cmp -s <(sed "s/\$/\r/" LICENSE) "$1"' sh "$work/zip/$top/LICENSE.txt"
check "README.txt: the version, the place, the folder map, -C, the exit codes" \
  bash -c 'f=$1; head -1 "$f" | grep -q "^OskeltZTEX $2 for Windows" &&
    for s in "Where to put it" "The folder map (OskeltZTEX.ini)" "trusted configuration" \
      "OskeltZTEX.exe -C \[BASEDIR\]" "redirected to a file or a pipe" "Exit codes"; do
      grep -q "$s" "$f" || exit 1; done' sh "$work/zip/$top/README.txt" "$short_version"

# The zip's program at work, beside the Linux program's run over the demo.
summary() { [ -z "${OSKELT_SUMMARY:-}" ] || printf '  %-34s %s\n' "zip's program on the demo" "$1" >>"$OSKELT_SUMMARY"; }
if bash tools/runs-32bit.sh --wine; then
  mkdir -p "$work/zip-run/Textures"
  cp -r demo/_compiled "$work/zip-run/Textures/"
  windows_work="Z:${work//\//\\}"
  set +e
  bash tools/wine-gui.sh bash tools/wine-run.sh "$winlog" "Z:${exe//\//\\}" \
    "$windows_work\\zip-run\\Textures" "$windows_work\\zip-run\\window.log" >"$work/zip-run.out" 2>&1
  code=$?
  set -e
  same "the zip's OskeltZTEX.exe under Wine over a copy of the demo: exit code 1" 1 "$code"
  [ "$code" = 1 ] || sed 's/^/        /' "$work/zip-run.out"
  tgas=$(find "$work/zip-run/Textures" -name '*.tga' | wc -l)
  if diff -r "$work/elsewhere/Textures" "$work/zip-run/Textures" >"$work/zip-run.diff" 2>&1; then
    pass "its $tgas TGA files and the folders are the Linux program's, byte for byte"
  else
    fail "its folders and TGA files are the Linux program's"; sed 's/^/        /' "$work/zip-run.diff"
  fi
  log_lines() { tr -d '\r' <"$1" | sed -E 's/^(ERROR: .*) \(.*\)$/\1 ()/' | sort; }
  same "its log lines are the Linux program's (the systems' message texts aside)" \
    "$(log_lines "$work/run.out")" "$(log_lines "$work/zip-run/window.log" 2>/dev/null)"
  summary "32-bit build, the zip's own exe: $tgas TGA files as the Linux program's"
else
  echo "  NOT EXECUTED  the zip's OskeltZTEX.exe: this machine does not run 32-bit programs under Wine"
  summary "NOT EXECUTED: this machine does not run 32-bit programs under Wine"
fi

echo
if [ "$failures" -gt 0 ]; then
  echo "packages: $failures check(s) failed"
  exit 1
fi
echo "packages: all checks passed"
