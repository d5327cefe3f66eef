#!/usr/bin/env bash
# Builds the Debian package for Linux users: the x64 Kestrune.exe, its help pages (help/ of the
# source tree) and the two Wine-side DLLs in /usr/lib/kestrune, the launcher as /usr/bin/kestrune
# with its manual page, a desktop entry, the AppStream metadata and the postcard icon in the
# desktop's sizes; the copyright file (DEP-5) and the changelog made from CHANGELOG.md.
#
#   packaging/deb/build-deb.sh --version V --exe-dir DIR --out DISTDIR
#
# DIR is an x64 build folder after
#   cmake --build --preset x64 --target Kestrune wine_mapi32 wine_winmm
# Writes DISTDIR/kestrune_V_amd64.deb and prints its path.
set -euo pipefail

die() {
  echo "build-deb.sh: $*" >&2
  exit 1
}
usage() { die "usage: build-deb.sh --version V --exe-dir DIR --out DISTDIR"; }

version='' exe_dir='' out=''
while [ $# -gt 0 ]; do
  case $1 in
    --version) version=${2:-}; shift 2 || usage ;;
    --exe-dir) exe_dir=${2:-}; shift 2 || usage ;;
    --out) out=${2:-}; shift 2 || usage ;;
    *) usage ;;
  esac
done
[ -n "$version" ] && [ -n "$exe_dir" ] && [ -n "$out" ] || usage
[[ $version =~ ^[0-9][A-Za-z0-9.+~-]*$ ]] || die "'$version' is not a Debian version (a digit first, then letters, digits and . + ~ -)"

root=$(cd "$(dirname "$0")/../.." && pwd)
files=(Kestrune.exe winmm.dll mapi32.dll)
for f in "${files[@]}"; do
  [ -f "$exe_dir/$f" ] || die "$exe_dir/$f is missing (cmake --build --preset x64 --target Kestrune wine_mapi32 wine_winmm)"
done
for tool in dpkg-deb python3 gzip; do
  command -v "$tool" >/dev/null || die "missing tool '$tool' (run scripts/install-deps.sh)"
done

source "$root/scripts/ours.sh"
# The package's tree in a folder of its own: the temporary folder holds our marker too.
tmp=$(kestrune_mktemp_folder kestrune-deb)
trap 'kestrune_remove_ours "$tmp"' EXIT
stage=$tmp/stage
mkdir "$stage"
chmod 0755 "$stage"
lib=$stage/usr/lib/kestrune
for f in "${files[@]}"; do
  install -D -m 0644 "$exe_dir/$f" "$lib/$f"
done
# Every help page, English in help/ and each other language in help/<language tag>/.
(cd "$root/help" && find . -type f -print0) | while IFS= read -r -d '' page; do
  install -D -m 0644 "$root/help/$page" "$lib/help/$page" || die "installing help/$page failed"
done
# The launcher is the same file scripts/run-kestrune.sh starts; it reads wine-env.sh from here.
install -m 0644 "$root/scripts/wine-env.sh" "$lib/wine-env.sh"
install -D -m 0755 "$root/packaging/linux/kestrune" "$stage/usr/bin/kestrune"
install -D -m 0644 "$root/packaging/linux/net.kestrune.Kestrune.desktop" \
  "$stage/usr/share/applications/net.kestrune.Kestrune.desktop"
python3 "$root/tools/make_pictures.py" --png-icons "$stage/usr/share/icons/hicolor" ||
  die "drawing the icons failed"

maintainer="Kestrune developers <packages@kestrune.net>"
# gz FILE: FILE compressed as Debian wants it, at the most and without a time stamp.
gz() { gzip -9n "$1" || die "gzip $1 failed"; }
install -D -m 0644 "$root/packaging/linux/kestrune.1" "$stage/usr/share/man/man1/kestrune.1"
gz "$stage/usr/share/man/man1/kestrune.1"
metainfo=$stage/usr/share/metainfo/net.kestrune.Kestrune.metainfo.xml
mkdir -p "$(dirname "$metainfo")"
python3 "$root/tools/changelog.py" "$root/CHANGELOG.md" --version "$version" \
  --metainfo "$root/packaging/linux/net.kestrune.Kestrune.metainfo.xml.in" >"$metainfo" ||
  die "writing the AppStream metadata failed"
doc=$stage/usr/share/doc/kestrune
mkdir -p "$doc/winmm"
python3 "$root/tools/changelog.py" "$root/CHANGELOG.md" --version "$version" \
  --debian kestrune "$maintainer" >"$doc/changelog" || die "writing the changelog failed"
gz "$doc/changelog"
for patch in "$root"/wine-fixes/winmm/*.patch; do
  install -m 0644 "$patch" "$doc/winmm/"
  gz "$doc/winmm/$(basename "$patch")"
done
# The copyright file names the wine source that winmm.dll is built from: the installed one, as
# in wine-fixes/build-winmm.sh. Each "@TEXT FILE@" line becomes FILE's text as a DEP-5 field
# goes on: indented by one space, empty lines as " .".
wine_version=$(dpkg-query -W -f='${source:Version}' wine64 2>/dev/null) ||
  die "wine64 is not installed: cannot name the wine source of winmm.dll"
while IFS= read -r line; do
  case $line in
    "@TEXT "*@)
      text=${line#@TEXT }
      text=${text%@}
      [ "${text#/}" != "$text" ] || text=$root/$text
      [ -f "$text" ] || die "no licence text $text"
      # The Expat text from its grant on: the lines above it are fields here.
      start=$(grep -n -m1 '^Permission is hereby granted' "$text" | cut -d: -f1 || true)
      tail -n "+${start:-1}" "$text" | tr -d '\f' | sed 's/[[:space:]]*$//' |
        awk '/^$/ { blank++; next } { for (; blank > 0; blank--) print " ."; print " " $0 }' ;;
    *) echo "${line//@WINE_VERSION@/$wine_version}" ;;
  esac
done <"$root/packaging/deb/copyright" >"$doc/copyright"

# Wine's 64-bit loader only (wine32 is not needed), and what the launcher calls: the Wine
# fonts, xvfb-run without a display, pactl for PulseAudio, notify-send for its notices, and
# xdg-email/xdg-open for Send and Help.
mkdir -p "$stage/DEBIAN"
# Installed-Size as dpkg-gencontrol counts it, whatever the file system: each file's size in
# KiB rounded up, 1 KiB for each folder.
installed_size=$(find "$stage" -mindepth 1 -path "$stage/DEBIAN" -prune -o -printf '%y %s\n' |
  awk '{ kb += ($1 == "f") ? int(($2 + 1023) / 1024) : 1 } END { print kb }')
cat >"$stage/DEBIAN/control" <<EOF
Package: kestrune
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $installed_size
Depends: wine64 (>= 8.0~), wine (>= 8.0~), fonts-wine, xvfb, pulseaudio-utils, libnotify-bin, xdg-utils
Section: sound
Priority: optional
Homepage: https://kestrune.net/kestrune.html
Description: record a spoken message and send it by e-mail
 Kestrune records a short spoken message from the microphone (GSM 6.10, about
 100 KB a minute), plays it back and hands it to the desktop's mail program as a
 WAV attachment.
 .
 This package runs the Windows program under Wine, in a Wine prefix of each
 user's own, with two Wine-side fixes: recording through the GSM codec (for
 Wine 8.0) and mail attachments through xdg-email.
 .
 The recording fix, /usr/lib/kestrune/winmm.dll, is a modified Wine library
 under the LGPL: Wine's winmm built from Debian's wine source package
 ($wine_version) with Kestrune's patch, which is in /usr/share/doc/kestrune.
EOF

# What debsums checks an installed package against.
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums" ||
  die "writing DEBIAN/md5sums failed"

mkdir -p "$out"
deb=$out/kestrune_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null ||
  die "dpkg-deb --build failed"
echo "$deb"
