#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix, headless.
# CTest calls this as the cross-compiling emulator, from inside the build folder.
set -euo pipefail

build=${KESTRUNE_BUILD_DIR:-}
if [ -z "$build" ]; then
  # CTest runs tests from their own binary dir; walk up to the folder holding CMakeCache.txt.
  dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || { echo "wine-run.sh: no build folder above $PWD" >&2; exit 2; }
  build=$dir
fi

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY

# Create the prefix once; tests may start in parallel, so hold a lock meanwhile.
if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # Wine's null graphics driver lets windows and dialogs work without a display.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kestrune-ready"
  fi
  flock -u 9
fi

exec wine "$@"
