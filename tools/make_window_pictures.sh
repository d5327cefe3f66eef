#!/usr/bin/env bash
# Pictures of the real main window - just started, recording, ready after a recording - taken
# under Xvfb and written as docs/window-empty.png, docs/window-recording.png and
# docs/window-ready.png.
# Usage: tools/make_window_pictures.sh [preset]   (default x64; needs xvfb, imagemagick, fonts-wine)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-x64}
build=$root/build/$preset
cd "$root"
ls /usr/share/wine/fonts/tahoma.ttf >/dev/null || { echo "needs fonts-wine (scripts/install-deps.sh)" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset"
cmake --build --preset "$preset" --target window_pictures
source scripts/wine-env.sh
export WINE64
loader=$WINE64
if [ "$preset" = x86 ]; then
  kestrune_runs_32bit || { echo "32-bit programs do not run on this machine; use the x64 preset" >&2; exit 1; }
  loader=wine
fi

# A prefix of its own with Wine's X11 driver: the tests' prefix uses the null driver, which
# shows nothing.
export WINEPREFIX=$build/wineprefix-shots
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Xvfb has no window manager, so Wine draws the caption and frame itself (Decorated=N). Wine's
# own fonts (Tahoma for "MS Shell Dlg", Marlett for the caption buttons) go into the prefix's
# Fonts folder, where this Wine finds them.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  if [ ! -f "$WINEPREFIX/.kestrune-shots" ]; then
    rm -rf "$WINEPREFIX"
    "$WINE64" wineboot.exe -i >"$2/wineboot.log" 2>&1 || { cat "$2/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }
    "$WINE64" reg.exe add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >"$2/reg.log" 2>&1 || { cat "$2/reg.log" >&2; echo "reg add failed" >&2; exit 1; }
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    wineserver -w
    touch "$WINEPREFIX/.kestrune-shots"
  fi
  status=0
  folder=$("$WINE64" winepath.exe -w "$2") || { echo "winepath failed" >&2; exit 1; }
  "$3" "$1" "$folder" || status=$?
  [ "$status" -eq 0 ] || echo "window_pictures.exe failed ($status)" >&2
  wineserver -k || true
  exit $status
' make-window-pictures "$build/tools/pictures/window_pictures.exe" "$tmp" "$loader"

mkdir -p docs
for name in empty recording ready; do
  convert "$tmp/window-$name.bmp" -strip "docs/window-$name.png"
  echo "wrote docs/window-$name.png"
done
