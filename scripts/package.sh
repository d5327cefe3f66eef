#!/usr/bin/env bash
# Builds Kestrune's packages into dist/: for Windows, a zip and an installer for each of x64 and
# x86; for Linux, a Debian package. Then checks them (CTest label "package").
#
#   scripts/package.sh [--no-deps] [--no-test]
#
#   dist/Kestrune-<version>-win64.zip        Kestrune\Kestrune.exe, LICENSE.txt and help\ (help.htm in
#                                            English, <language tag>\help.htm in each other language)
#   dist/Kestrune-<version>-win32.zip
#   dist/Kestrune-<version>-setup-x64.exe    NSIS, per user (packaging/windows/kestrune.nsi)
#   dist/Kestrune-<version>-setup-x86.exe
#   dist/kestrune_<version>_amd64.deb       the launcher, the x64 exe and the Wine-side fixes
#
# The version is the project version of the top CMakeLists.txt, read back from CMake's cache.
set -Eeuo pipefail
trap 'echo "package.sh: failed (line $LINENO): $BASH_COMMAND" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/ours.sh

deps=1
test=1
for arg in "$@"; do
  case $arg in
    --no-deps) deps=0 ;;
    --no-test) test=0 ;;
    *) echo "package.sh: unknown option $arg (use --no-deps, --no-test)" >&2; exit 2 ;;
  esac
done

if [ "$deps" = 1 ]; then
  bash scripts/install-deps.sh
fi

dist=$root/dist
mkdir -p "$dist"

# project_version PRESET: the version CMake configured the preset's build with.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/$1/CMakeCache.txt"
}

# package_windows PRESET ZIP_SUFFIX SETUP_SUFFIX: the release exe of PRESET as a zip and an
# installer in dist/.
package_windows() {
  local preset=$1 zip_suffix=$2 setup_suffix=$3
  echo "== $preset: build the release exe"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Kestrune
  local build=$root/build/$preset
  local version
  version=$(project_version "$preset")
  [ -n "$version" ] || { echo "package.sh: no CMAKE_PROJECT_VERSION in build/$preset/CMakeCache.txt" >&2; return 1; }
  # 1.02 -> 1.2.0.0 for the installer's version resource.
  local major=${version%%.*} minor=${version#*.}
  local quad="$((10#$major)).$((10#${minor:-0})).0.0"

  echo "== $preset: stage, zip and installer for Kestrune $version"
  local stage=$build/package
  kestrune_remove_ours "$stage"
  mkdir -p "$stage/Kestrune"
  cp "$build/Kestrune.exe" "$stage/Kestrune/Kestrune.exe"
  cp -R "$root/help" "$stage/Kestrune/help"
  # Windows line ends, for the Notepad of Windows 7 to 10.
  sed 's/$/\r/' "$root/LICENSE" >"$stage/Kestrune/LICENSE.txt"

  local zip=$dist/Kestrune-$version-$zip_suffix.zip
  rm -f "$zip"
  # No folder entries or extra fields, then deflated again as tightly as deflate goes: the zip
  # holds every language and must stay under 100 KB. Any unzip reads it.
  (cd "$stage" && zip -q -r -9 -D -X "$zip" Kestrune)
  advzip -q -z -4 "$zip"

  local setup=$dist/Kestrune-$version-setup-$setup_suffix.exe
  rm -f "$setup"
  # -WX: a warning fails the build, so a text missing in one of the installer's languages does.
  makensis -V2 -WX -DVERSION="$version" -DVERSION_QUAD="$quad" -DARCH="$setup_suffix" \
    -DSTAGE="$stage/Kestrune" -DOUTFILE="$setup" "$root/packaging/windows/kestrune.nsi"
  ls -l "$zip" "$setup"
}

package_windows x64 win64 x64
package_windows x86 win32 x86

echo "== Debian package"
# The x64 exe with the Wine-side fixes beside it (winmm.dll fetches Debian's wine source once).
cmake --build --preset x64 --target Kestrune wine_mapi32 wine_winmm
bash packaging/deb/build-deb.sh --version "$(project_version x64)" --exe-dir "$root/build/x64" \
  --out "$dist"

if [ "$test" = 1 ]; then
  echo "== test the packages"
  # The Windows packages' test borrows the end-to-end window probe; build it fully.
  cmake --build --preset x64 --target kestrune_probe
  ctest --preset x64 -L package
fi
