#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds a corrected winmm.dll from Debian's own wine source package (the version
# installed here) with our patches in wine-fixes/winmm/, as a native PE DLL that an
# exe loads from its own folder with WINEDLLOVERRIDES=winmm=n,b.
#
#   wine-fixes/build-winmm.sh [--arch x86_64|i386] [OUTPUT_DIR]
#
# The source and the built DLL are cached in build/wine-fixes/; OUTPUT_DIR (if given)
# receives a copy of winmm.dll. Fails loudly when the source or a tool is missing; exits
# with 77 when the installed Wine is not 8.0.
set -euo pipefail

arch=x86_64
out=
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=$2; shift 2 ;;
    -*) echo "build-winmm.sh: unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift ;;
  esac
done
case $arch in
  x86_64) triple=x86_64-w64-mingw32; multiarch=x86_64-linux-gnu; winearch=x86_64-windows ;;
  i386) triple=i686-w64-mingw32; multiarch=i386-linux-gnu; winearch=i386-windows ;;
  *) echo "build-winmm.sh: arch must be x86_64 or i386" >&2; exit 2 ;;
esac

die() { echo "build-winmm.sh: $*" >&2; exit 1; }

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/ours.sh"
patches=("$root"/wine-fixes/winmm/*.patch)
[ -f "${patches[0]}" ] || die "no patches in $root/wine-fixes/winmm"

for tool in apt-get dpkg-source dpkg-query patch widl wrc winebuild winegcc "$triple-gcc" "$triple-dlltool"; do
  command -v "$tool" >/dev/null || die "missing tool '$tool' (run scripts/install-deps.sh)"
done
libdir=/usr/lib/$multiarch/wine/$winearch
devpkg=libwine-dev; [ "$arch" = i386 ] && devpkg=libwine-dev:i386
[ -f "$libdir/libwinecrt0.a" ] || die "missing Wine import libraries in $libdir (package $devpkg)"

version=$(dpkg-query -W -f='${source:Version}' wine64 2>/dev/null || true)
[ -n "$version" ] || die "wine64 is not installed"
# 77: the patches do not apply to this Wine at all (tests count that as skipped)
case $version in 8.0*) ;; *) echo "build-winmm.sh: the patches are for Wine 8.0; installed: $version" >&2; exit 77 ;; esac

cache=$root/build/wine-fixes
srcstamp=$(cat "${patches[@]}" | sha256sum | cut -c1-16)
stamp=$(cat "${patches[@]}" "$0" | sha256sum | cut -c1-16)
dll=$cache/$arch/winmm.dll
if [ -f "$dll" ] && [ "$(cat "$cache/$arch/stamp" 2>/dev/null)" = "$version $stamp" ]; then
  [ -z "$out" ] || { mkdir -p "$out"; cp "$dll" "$out/winmm.dll"; }
  echo "winmm.dll ($arch, wine $version) up to date: $dll"
  exit 0
fi
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

# --- Debian's source package, fetched with a deb-src entry made from this machine's
# own apt configuration (the stanzas that the installed wine came from), kept in a
# private apt state so the system's apt configuration is left alone.
srcdir=$cache/wine-$version
if [ ! -f "$srcdir/.patched-$srcstamp" ]; then
  apt=$cache/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$cache/download"
  origins=$(apt-cache policy wine64 | awk '/^ \*\*\*/{f=1; next} f && /^ +[0-9]+ [a-z]+:\/\//{print $2} f && /^ [^ ]/{exit}' | sort -u)
  [ -n "$origins" ] || die "cannot tell which apt source the installed wine came from"
  : >"$apt/deb-src.sources"
  : >"$apt/deb-src.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    for o in $origins; do
      # deb822: copy each stanza that serves this origin, as Types: deb-src
      awk -v uri="$o" 'BEGIN{RS=""; ORS="\n\n"}
        { n = split($0, line, "\n"); types = 0; match_uri = 0
          for (i = 1; i <= n; i++) {
            if (line[i] ~ /^Types:/ && line[i] ~ /[ \t]deb([ \t]|$)/) types = i
            if (line[i] ~ /^URIs:/) { m = split(line[i], u, /[ \t]+/); for (j = 2; j <= m; j++) if (u[j] == uri) match_uri = 1 }
          }
          if (types && match_uri) { line[types] = "Types: deb-src"; out = ""
            for (i = 1; i <= n; i++) out = out line[i] "\n"; printf "%s\n", out } }' "$f" >>"$apt/deb-src.sources"
    done
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    for o in $origins; do
      # one-line form: "deb [options] uri suite components"
      awk -v uri="$o" '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i == uri) { $1 = "deb-src"; print; next } }' "$f" >>"$apt/deb-src.list"
    done
  done
  [ -s "$apt/deb-src.sources" ] || [ -s "$apt/deb-src.list" ] ||
    die "no apt entry found for $origins"
  aptopts=(-o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
           -o Dir::Etc::SourceList="$apt/deb-src.list" -o Dir::Etc::SourceParts=-
           -o APT::Get::List-Cleanup=0 -o Debug::NoLocking=1)
  if [ -s "$apt/deb-src.sources" ]; then
    # apt reads deb822 files only from a parts folder
    mkdir -p "$apt/parts"
    cp "$apt/deb-src.sources" "$apt/parts/deb-src.sources"
    aptopts+=(-o Dir::Etc::SourceParts="$apt/parts")
  fi
  echo "build-winmm.sh: fetching wine $version source"
  apt-get "${aptopts[@]}" update -q >"$apt/update.log" 2>&1 || { cat "$apt/update.log" >&2; die "apt-get update of the deb-src entry failed"; }
  (cd "$cache/download" && apt-get "${aptopts[@]}" source -q --download-only "wine=$version") >"$apt/source.log" 2>&1 ||
    { cat "$apt/source.log" >&2; die "apt-get source wine=$version failed"; }
  dsc=$(ls "$cache/download"/wine_"${version#*:}".dsc 2>/dev/null) || die "no .dsc for wine $version downloaded"
  kestrune_remove_ours "$srcdir" "$root/build"
  # apt has checked the files against the signed index; dpkg-source only warns
  # that it lacks the uploader's key
  dpkg-source -q -x "$dsc" "$srcdir" >"$apt/extract.log" 2>&1 || { cat "$apt/extract.log" >&2; die "dpkg-source -x $dsc failed"; }
  for p in "${patches[@]}"; do
    patch -d "$srcdir" -p1 --forward --quiet <"$p" || die "patch $(basename "$p") does not apply to wine $version"
  done
  touch "$srcdir/.patched-$srcstamp"
fi

# --- Only winmm.dll: headers generated from the source's IDL files, objects compiled
# against the source's own headers (no system headers), linked by winegcc as a PE DLL.
work=$cache/$arch
kestrune_remove_ours "$work" "$root/build"
mkdir -p "$work/include"
for idl in "$srcdir"/include/*.idl; do
  h=$(basename "${idl%.idl}").h
  [ -f "$srcdir/include/$h" ] && continue
  # a few IDL files are only fragments for others; a header that winmm needs and
  # that failed here makes the compile below fail
  widl -h -o "$work/include/$h" -I "$srcdir/include" "$idl" 2>/dev/null || rm -f "$work/include/$h"
done
[ -f "$work/include/mmdeviceapi.h" ] || die "widl could not generate mmdeviceapi.h"

mod=$srcdir/dlls/winmm
cflags=(-nostdinc -I"$work/include" -I"$mod" -I"$srcdir/include" -I"$srcdir/include/msvcrt"
        -D__WINESRC__ -D_UCRT -fno-builtin -fno-strict-aliasing -Wno-packed-not-aligned -O2)
[ "$arch" = i386 ] && cflags+=(-fno-omit-frame-pointer)
objs=()
for c in "$mod"/*.c; do
  o=$work/$(basename "${c%.c}").o
  "$triple-gcc" -c -o "$o" "$c" "${cflags[@]}" || die "compiling $(basename "$c") failed"
  objs+=("$o")
done
for rc in "$mod"/*.rc; do
  res=$work/$(basename "${rc%.rc}").res
  wrc --nostdinc -I"$mod" -I"$srcdir/include" -I"$work/include" -D__WINESRC__ -o "$res" "$rc" ||
    die "wrc $(basename "$rc") failed"
  objs+=("$res")
done
# dinput8 (joysticks) is delay-loaded, as in Wine's own build
winebuild -w --def -o "$work/dinput8.def" -b "$triple" --export "$srcdir/dlls/dinput8/dinput8.spec" ||
  die "winebuild dinput8.def failed"
"$triple-dlltool" -k -d "$work/dinput8.def" -D dinput8.dll -y "$work/libdinput8.delay.a" ||
  die "dlltool dinput8 failed"
winegcc -b "$triple" -shared -o "$work/winmm.dll" "$mod/winmm.spec" "${objs[@]}" -nodefaultlibs \
  -L"$work" -L"$libdir" -luuid -luser32 -ladvapi32 -lole32 -lmsacm32 -ldinput8.delay \
  -lwinecrt0 -lucrtbase -lkernel32 -lntdll || die "linking winmm.dll failed"
echo "$version $stamp" >"$work/stamp"

[ -z "$out" ] || { mkdir -p "$out"; cp "$dll" "$out/winmm.dll"; }
echo "winmm.dll ($arch, wine $version) built: $dll"
