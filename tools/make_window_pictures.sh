#!/usr/bin/env bash
# Pictures of the real main window - just started, recording, ready after a recording - taken
# under Xvfb and written as docs/window-empty.png, docs/window-recording.png and
# docs/window-ready.png; and the window just started at 150 % (144 dpi, Wine's LogPixels in a
# prefix of its own) as docs/window-150.png; and the window recording in German and in Japanese,
# as users with those languages meet it (LANG, with locales made into a folder of the run's own),
# as docs/window-recording-de.png and docs/window-recording-ja.png.
# Usage: tools/make_window_pictures.sh [preset]   (default x64; needs xvfb, imagemagick, fonts-wine)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-x64}
build=$root/build/$preset
cd "$root"
ls /usr/share/wine/fonts/tahoma.ttf >/dev/null || { echo "needs fonts-wine (scripts/install-deps.sh)" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$preset"
cmake --build --preset "$preset" --target window_pictures

# A prefix of its own with Wine's X11 driver: the tests' prefix uses the null driver, which
# shows nothing. x64 exes run through the 64-bit loader, x86 ones through the 32-bit one.
source scripts/wine-env.sh
source scripts/ours.sh
export WINE64
loader=$WINE64
if [ "$preset" = x86 ]; then
  kestrune_runs_32bit || { echo "make_window_pictures.sh: this machine cannot run 32-bit programs; use the x64 preset" >&2; exit 1; }
  loader=/usr/lib/wine/wine
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
tmp=$(kestrune_mktemp_folder)
trap 'kestrune_remove_ours "$tmp"' EXIT

# shots PREFIX DPI FOLDER: the three pictures at that scale, as BMPs in FOLDER.
shots() {
mkdir -p "$3"
WINEPREFIX=$1 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  source "$5/scripts/ours.sh"
  step() {
    "$@" >"$WINEPREFIX.log" 2>&1 || { cat "$WINEPREFIX.log" >&2; echo "make_window_pictures.sh: failed: $*" >&2; exit 1; }
  }
  if [ ! -f "$WINEPREFIX/.kestrune-shots" ]; then
    kestrune_remove_ours "$WINEPREFIX"
    step "$WINE64" wineboot.exe -i
    step "$WINE64" reg.exe add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    step wineserver -w
    touch "$WINEPREFIX/.kestrune-shots"
  fi
  step "$WINE64" reg.exe add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$4" /f
  status=0
  out=$("$WINE64" winepath.exe -w "$3") || { echo "make_window_pictures.sh: winepath -w $3 failed" >&2; exit 1; }
  WINELOADER=$1 "$1" "$2" "$out" || status=$?
  wineserver -k || true
  [ "$status" -eq 0 ] || echo "make_window_pictures.sh: $2 failed with exit status $status" >&2
  exit $status
' make-window-pictures "$loader" "$build/tools/pictures/window_pictures.exe" "$3" "$2" "$root"
}

shots "$build/wineprefix-shots" 96 "$tmp/96"
shots "$build/wineprefix-shots-150" 144 "$tmp/150"
mkdir -p "$tmp/locales"
for locale in de_DE ja_JP; do
  localedef -i "$locale" -f UTF-8 "$tmp/locales/$locale.UTF-8" 2>/dev/null ||
    [ -d "$tmp/locales/$locale.UTF-8" ] || { echo "make_window_pictures.sh: no $locale locale" >&2; exit 1; }
  LOCPATH=$tmp/locales LANG=$locale.UTF-8 LC_ALL=$locale.UTF-8 \
    shots "$build/wineprefix-shots" 96 "$tmp/${locale%_*}"
done

mkdir -p docs
for name in empty recording ready; do
  convert "$tmp/96/window-$name.bmp" -strip "docs/window-$name.png"
  echo "wrote docs/window-$name.png"
done
convert "$tmp/150/window-empty.bmp" -strip docs/window-150.png
echo "wrote docs/window-150.png"
for language in de ja; do
  convert "$tmp/$language/window-recording.bmp" -strip "docs/window-recording-$language.png"
  echo "wrote docs/window-recording-$language.png"
done
