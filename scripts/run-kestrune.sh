#!/usr/bin/env bash
# Runs Kestrune on Linux under Wine: installs what is needed, builds the x64 exe and the
# Wine-side fixes beside it (winmm.dll that can record, mapi32.dll that attaches), and
# starts it in a Wine prefix of its own with sound through PulseAudio.
#
#   scripts/run-kestrune.sh [--no-deps]
#
# KESTRUNE_WINEPREFIX overrides the prefix (default ~/.local/share/kestrune/wineprefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "${1:-}" != --no-deps ]; then
  bash scripts/install-deps.sh
fi

cmake --preset x64 >/dev/null
cmake --build --preset x64 --target Kestrune wine_mapi32 wine_winmm
exe=$root/build/x64/Kestrune.exe
for f in "$exe" "$root/build/x64/winmm.dll" "$root/build/x64/mapi32.dll"; do
  [ -f "$f" ] || { echo "run-kestrune.sh: $f was not built" >&2; exit 1; }
done

export WINEPREFIX=${KESTRUNE_WINEPREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/kestrune/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run-kestrune.sh: creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # No Mono or Gecko prompts: Kestrune needs neither.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  # Without mshtml nothing claims .htm files; Help opens help.htm through the desktop's browser.
  wine reg add 'HKCR\.htm' /ve /d htmlfile /f >/dev/null 2>&1
  # This Wine looks for its own fonts (Tahoma for "MS Shell Dlg", Marlett for the caption
  # buttons) only in the prefix's Fonts folder.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w
fi
# Sound through PulseAudio (or PipeWire's Pulse server) when one answers.
if command -v pactl >/dev/null && pactl info >/dev/null 2>&1; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
fi

# The fixes are picked from the exe's folder for Kestrune only.
export WINEDLLOVERRIDES="winmm,mapi32=n,b;mscoree,mshtml="
run=(wine "$exe")
if [ -z "${DISPLAY:-}" ]; then
  echo "run-kestrune.sh: no DISPLAY; running on a virtual X server (xvfb-run)"
  # No window manager there to draw the caption: Wine draws its own.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  run=(xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}")
else
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
fi
# The settings above are read when the prefix's server starts: let the one they started end.
wineserver -w
exec "${run[@]}"
