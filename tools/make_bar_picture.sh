#!/usr/bin/env bash
# Draws the button bar with the program's own code under Wine and writes docs/button-bar.png.
# Usage: tools/make_bar_picture.sh [preset]   (default x64; needs imagemagick)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-x64}
build=$root/build/$preset
cd "$root"
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset"
cmake --build --preset "$preset" --target bar_picture
source scripts/ours.sh
tmp=$(kestrune_mktemp_folder)
trap 'kestrune_remove_ours "$tmp"' EXIT
arch=x64
[ "$preset" != x86 ] || arch=x86
(cd "$build" && "$root/cmake/wine-run.sh" --arch "$arch" tools/pictures/bar_picture.exe "$tmp/bar.bmp")
mkdir -p docs
convert "$tmp/bar.bmp" -strip docs/button-bar.png
echo "wrote docs/button-bar.png"
