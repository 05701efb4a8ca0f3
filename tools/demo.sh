#!/usr/bin/env bash
# The main job on its bundled default: builds the program (installing what
# it needs on a fresh Debian machine) and converts the demo textures in
# demo/_compiled into demo/out, printing the log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh cmake ninja-build g++ qt6-base-dev libgl-dev fonts-dejavu-core

# A build of the program alone: no test or benchmark libraries needed.
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSKELT_TESTS=OFF -DOSKELT_BENCH=OFF >/dev/null
cmake --build build/demo --target OskeltZTEX >/dev/null
program=build/demo/src/host/linux/OskeltZTEX

rm -rf demo/out
mkdir -p demo/out
cp -r demo/_compiled demo/out/
echo "Converting demo/out/_compiled (folder map: $program.ini)"
echo
set +e
# The default map beside the program, even where the user has one of their
# own in ~/.config/oskeltztex (a configuration folder that does not exist).
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$PWD/build/demo/no-config" "$program" -C demo/out
code=$?
set -e
echo
echo "Exit code $code: four demo textures are broken on purpose (DXT5, an unknown"
echo "format, a bad signature, a cut-off file), so the run reports four errors."
echo "The TGA files:"
(cd demo/out && find . -name '*.tga' | sort | sed 's#^\./#  demo/out/#')
[ "$code" = 1 ]
