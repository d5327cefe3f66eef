#!/usr/bin/env bash
# Installs everything a Linux machine needs to build Kestrune, run it under Wine and
# run all of its tests. Idempotent: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
source "$(dirname "$0")/wine-env.sh"

packages=(
  cmake ninja-build googletest clang-format
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wine64-tools
  xvfb xdotool xclip imagemagick x11-utils fonts-wine
  pulseaudio pulseaudio-utils espeak-ng sox libsox-fmt-all ffmpeg
  python3 dpkg-dev
  # the Windows installers (scripts/package.sh), and the locales their test installs them in
  nsis locales
  # the zips, deflated as tightly as deflate goes (scripts/package.sh)
  zip advancecomp
  # Japanese and Chinese glyphs for the window in those languages (tests/app/languages_test.sh)
  fonts-wqy-microhei fonts-ipafont-gothic
  # the corrected winmm.dll (wine-fixes/build-winmm.sh) and Send under Wine
  libwine-dev patch xz-utils xdg-utils
  # the Debian package (packaging/deb/), its checks and its launcher's first-run notice
  desktop-file-utils lintian appstream man-db libnotify-bin
  # what the hand-over copies play in: a real browser (tests/e2e/browser_play.py)
  chromium
)

# 32-bit Wine runs the x86 build's tests, where the machine can run 32-bit programs at all;
# elsewhere it would only break /usr/bin/wine.
if kestrune_runs_32bit; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    $SUDO apt-get update -q
  fi
  packages+=(wine32:i386)
else
  echo "install-deps.sh: this machine cannot run 32-bit programs; leaving out 32-bit Wine (wine32:i386)"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
