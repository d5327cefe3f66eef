#!/usr/bin/env bash
# Runs Kestrune on Linux under Wine: installs what is missing, builds the x64 exe and the
# Wine-side fixes beside it (winmm.dll that can record, mapi32.dll that attaches), and starts
# it through the launcher that the Debian package installs as /usr/bin/kestrune
# (packaging/linux/kestrune), on this build folder.
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
for f in Kestrune.exe help/help.htm winmm.dll mapi32.dll; do
  [ -f "build/x64/$f" ] || { echo "run-kestrune.sh: build/x64/$f was not built" >&2; exit 1; }
done

KESTRUNE_LIBDIR=$root/build/x64 exec "$root/packaging/linux/kestrune"
