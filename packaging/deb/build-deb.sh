#!/usr/bin/env bash
# Builds the Debian package for Linux users: the x64 Kestrune.exe, its help page and the two
# Wine-side DLLs in /usr/lib/kestrune, the launcher as /usr/bin/kestrune, a desktop entry and
# the postcard icon in the desktop's sizes.
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
files=(Kestrune.exe help/help.htm winmm.dll mapi32.dll)
for f in "${files[@]}"; do
  [ -f "$exe_dir/$f" ] || die "$exe_dir/$f is missing (cmake --build --preset x64 --target Kestrune wine_mapi32 wine_winmm)"
done
for tool in dpkg-deb python3; do
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
# The launcher is the same file scripts/run-kestrune.sh starts; it reads wine-env.sh from here.
install -m 0644 "$root/scripts/wine-env.sh" "$lib/wine-env.sh"
install -D -m 0755 "$root/packaging/linux/kestrune" "$stage/usr/bin/kestrune"
install -D -m 0644 "$root/packaging/linux/kestrune.desktop" \
  "$stage/usr/share/applications/kestrune.desktop"
python3 "$root/tools/make_pictures.py" --png-icons "$stage/usr/share/icons/hicolor" ||
  die "drawing the icons failed"

# Wine's 64-bit loader only (wine32 is not needed), and what the launcher calls: the Wine
# fonts, xvfb-run without a display, pactl for PulseAudio, notify-send for its notices, and
# xdg-email/xdg-open for Send and Help.
mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<EOF
Package: kestrune
Version: $version
Architecture: amd64
Maintainer: Kestrune developers <packages@kestrune.net>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
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
EOF

mkdir -p "$out"
deb=$out/kestrune_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null ||
  die "dpkg-deb --build failed"
echo "$deb"
