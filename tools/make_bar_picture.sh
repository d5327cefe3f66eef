#!/usr/bin/env bash
# Draws the button bar with the program's own code under Wine and writes docs/button-bar.png.
# Usage: tools/make_bar_picture.sh [preset]   (default x64; needs imagemagick)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-x64}
build=$root/build/$preset
cd "$root"
source scripts/wine-env.sh
loader=$WINE64
if [ "$preset" = x86 ]; then
  kestrune_runs_32bit || { echo "32-bit programs do not run on this machine; use the x64 preset" >&2; exit 1; }
  loader=wine
fi
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset"
cmake --build --preset "$preset" --target bar_picture

# A prefix of its own with Wine's null graphics driver: the bar is drawn without a display.
export WINEPREFIX=$build/wineprefix-bar
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if [ ! -f "$WINEPREFIX/.kestrune-bar" ]; then
  rm -rf "$WINEPREFIX"
  "$WINE64" wineboot.exe -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }
  "$WINE64" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >"$tmp/reg.log" 2>&1 || { cat "$tmp/reg.log" >&2; echo "reg add failed" >&2; exit 1; }
  wineserver -w
  touch "$WINEPREFIX/.kestrune-bar"
fi
"$loader" "$build/tools/pictures/bar_picture.exe" "$tmp/bar.bmp" || { echo "bar_picture.exe failed" >&2; exit 1; }
mkdir -p docs
convert "$tmp/bar.bmp" -strip docs/button-bar.png
echo "wrote docs/button-bar.png"
