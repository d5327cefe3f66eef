#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it without installing it: control
# fields, the file list with owners and modes, the files against their sources, the desktop
# entry, the icons' sizes, lintian, the AppStream metadata and the manual page. Prints every
# failed check and fails at the end.
# Usage: check_deb.sh SOURCE_DIR VERSION EXE_DIR WORK_DIR
set -euo pipefail
src=$1 version=$2 exe_dir=$3 work=$4

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# shellcheck source=../../scripts/ours.sh
source "$src/scripts/ours.sh"
kestrune_remove_ours "$work" || exit 1
kestrune_new_folder "$work"
deb=$(bash "$src/packaging/deb/build-deb.sh" --version "$version" --exe-dir "$exe_dir" --out "$work/dist") ||
  { echo "FAIL: build-deb.sh failed" >&2; exit 1; }
[ "$deb" = "$work/dist/kestrune_${version}_amd64.deb" ] || fail "build-deb.sh wrote '$deb'"
[ -f "$deb" ] || { echo "FAIL: no package at $deb" >&2; exit 1; }
echo "built $deb ($(stat -c %s "$deb") bytes)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrune ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
# Wine's 64-bit side only, and every package whose program the launcher calls.
depends=$(field Depends)
# One name a line, read from a string: grep -q ending a pipe early would fail it (pipefail).
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/([^)]*)//; s/^ *//; s/ *$//')
for needed in wine64 wine fonts-wine xvfb pulseaudio-utils libnotify-bin xdg-utils; do
  grep -qx "$needed" <<<"$names" || fail "Depends lacks $needed: $depends"
done
if grep -q wine32 <<<"$names"; then fail "Depends names wine32: $depends"; fi

# Regular files: mode, owner and path, exactly these; the help pages are the source tree's.
helpPages=$(cd "$src/help" && find . -type f | sed 's|^\./|-rw-r--r-- root/root ./usr/lib/kestrune/help/|')
[ -n "$helpPages" ] || fail "no help pages in $src/help"
expected="-rw-r--r-- root/root ./usr/lib/kestrune/Kestrune.exe
$helpPages
-rw-r--r-- root/root ./usr/lib/kestrune/mapi32.dll
-rw-r--r-- root/root ./usr/lib/kestrune/wine-env.sh
-rw-r--r-- root/root ./usr/lib/kestrune/winmm.dll
-rw-r--r-- root/root ./usr/share/applications/net.kestrune.Kestrune.desktop
-rw-r--r-- root/root ./usr/share/doc/kestrune/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/kestrune/copyright
-rw-r--r-- root/root ./usr/share/doc/kestrune/winmm/0001-capture-through-acm.patch.gz
-rw-r--r-- root/root ./usr/share/icons/hicolor/128x128/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/16x16/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/256x256/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/32x32/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/48x48/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/64x64/apps/kestrune.png
-rw-r--r-- root/root ./usr/share/man/man1/kestrune.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/net.kestrune.Kestrune.metainfo.xml
-rwxr-xr-x root/root ./usr/bin/kestrune"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | LC_ALL=C sort -k3)
expected=$(LC_ALL=C sort -k3 <<<"$expected")
[ "$actual" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$actual") || true)"
dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" {print $1, $6}')
[ -z "$dirs" ] || fail "folders not 0755: $dirs"

# The files themselves: the build's, and the one launcher that run-kestrune.sh starts too.
x=$work/extracted
dpkg-deb -x "$deb" "$x"
same() { cmp -s "$1" "$2" || fail "$2 differs from $1"; }
same "$src/packaging/linux/kestrune" "$x/usr/bin/kestrune"
same "$src/scripts/wine-env.sh" "$x/usr/lib/kestrune/wine-env.sh"
for f in Kestrune.exe winmm.dll mapi32.dll; do
  same "$exe_dir/$f" "$x/usr/lib/kestrune/$f"
done
diff -r "$src/help" "$x/usr/lib/kestrune/help" >/dev/null || fail "the help pages differ from $src/help"
# The languages of the help pages, as desktop-entry locales: de, pt_BR, zh_CN ...
locales=$(cd "$src/help" && find . -mindepth 2 -name help.htm | sed 's|^\./\(.*\)/help.htm$|\1|; s/-/_/' | LC_ALL=C sort)
[ -n "$locales" ] || fail "no help pages in other languages in $src/help"
metainfo=$x/usr/share/metainfo/net.kestrune.Kestrune.metainfo.xml

desktop=$x/usr/share/applications/net.kestrune.Kestrune.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
for line in Name=Kestrune Exec=kestrune Icon=kestrune 'Categories=AudioVideo;Audio;Recorder;'; do
  grep -qxF "$line" "$desktop" || fail "$desktop lacks $line"
done
grep -q '^Comment=.' "$desktop" || fail "$desktop has no Comment"
# The menu entry and the software centre speak each language the help does.
for locale in $locales; do
  for key in "GenericName[$locale]" "Comment[$locale]"; do
    grep -qF "$key=" "$desktop" || fail "$desktop lacks $key"
  done
  for element in summary p caption; do
    grep -q "<$element xml:lang=\"$locale\">" "$metainfo" || fail "$metainfo has no <$element> in $locale"
  done
done

# Each icon is a PNG of its folder's size.
for png in "$x"/usr/share/icons/hicolor/*/apps/kestrune.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  magic=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
  [ "$magic" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8}')
  [ "${w}x${h}" = "$size" ] || fail "$png is ${w}x${h}"
done

# What a distribution and a software centre check: no lintian error or warning, valid AppStream
# metadata, a manual page without formatting warnings.
for tool in lintian appstreamcli man; do
  command -v "$tool" >/dev/null || fail "missing tool '$tool' (run scripts/install-deps.sh)"
done
if command -v lintian >/dev/null; then
  echo "lintian $deb:"
  lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" ||
    fail "appstreamcli validate: errors or warnings"
fi
if command -v man >/dev/null; then
  page=$x/usr/share/man/man1/kestrune.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot format $page"
  [ -z "$warnings" ] || fail "man --warnings $page: $warnings"
fi

[ "$status" -eq 0 ] && echo "package checks passed"
exit $status
