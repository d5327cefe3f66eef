#!/usr/bin/env bash
# Checks the Windows packages that scripts/package.sh wrote into dist/: each zip's layout, each
# exe's machine type, size, imports, version and manifest; then, in a throwaway Wine prefix,
# installs each installer silently, checks what it put where, starts the installed Kestrune,
# finds its window and closes it, and uninstalls silently. Every Wine step has a time limit.
# The x64 installer runs in one of its languages, picked at random (KESTRUNE_INSTALLER_TAG=<tag>
# picks one), the x86 one (or, where 32-bit programs cannot run, the x64 one again) in a language
# it does not speak; each must speak that language or English. Wine takes the display language
# from LANG, for a locale that glibc has: the test makes the two locales in its own folder
# (LOCPATH).
#
#   check_windows_packages.sh DIST VERSION HELP_DIR OBJDUMP WINDRES PROBE_EXE
#
# HELP_DIR is the source tree's help folder, which the packages must carry whole.
# Exits 77 (skipped) when DIST holds no packages of VERSION.
set -Eeuo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
dist=$1 version=$2 help_dir=$3 objdump=$4 windres=$5 probe=$6
nsi=$here/../../packaging/windows/kestrune.nsi
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"
# shellcheck source=../../scripts/ours.sh
source "$here/../../scripts/ours.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Every language and picture set in one exe, and the zip that carries it.
kMaxExeBytes=$((320 * 1024))
kMaxZipBytes=$((100 * 1024))
# arch: zip suffix, installer suffix, PE format as objdump names it.
declare -A zipSuffix=([x64]=win64 [x86]=win32)
declare -A peFormat=([x64]=pei-x86-64 [x86]=pei-i386)

present=0
for arch in x64 x86; do
  for f in "$dist/Kestrune-$version-${zipSuffix[$arch]}.zip" "$dist/Kestrune-$version-setup-$arch.exe"; do
    [ -f "$f" ] && present=$((present + 1))
  done
done
if [ "$present" -eq 0 ]; then
  echo "skipped: no Kestrune $version packages in $dist (scripts/package.sh makes them)"
  exit 77
fi
[ "$present" -eq 4 ] || fail "only $present of the 4 Kestrune $version packages are in $dist"

work=$(kestrune_mktemp_folder kestrune-package)
kestrunePid=
cleanup() {
  if [ -n "$kestrunePid" ] && kill -0 "$kestrunePid" 2>/dev/null; then kill "$kestrunePid" || true; fi
  if [ -d "$work/prefix" ]; then WINEPREFIX=$work/prefix timeout 30 wineserver -k || true; fi
  kestrune_remove_ours "$work"
}
trap cleanup EXIT

# check_exe EXE ARCH: the release exe as shipped.
check_exe() {
  local exe=$1 arch=$2 size
  size=$(stat -c %s "$exe")
  [ "$size" -le "$kMaxExeBytes" ] || fail "$exe: $size bytes, more than $kMaxExeBytes"
  "$objdump" -f "$exe" | grep -q "file format ${peFormat[$arch]}\$" ||
    fail "$exe: not ${peFormat[$arch]}: $("$objdump" -f "$exe" | grep 'file format')"
  if "$objdump" -h "$exe" | grep -q '\.debug'; then fail "$exe: has debug sections"; fi
  cmake -DOBJDUMP="$objdump" -DEXE="$exe" -P "$here/../check_imports.cmake" >"$work/imports.log" 2>&1 ||
    fail "$exe: imports more than system DLLs: $(cat "$work/imports.log")"

  local resources manifest
  resources=$("$windres" -i "$exe" -O rc) || fail "$exe: resources unreadable"
  grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resources" ||
    fail "$exe: version resource does not say $version"
  # The manifest: resource 1 of type 24, printed by windres as quoted lines up to END.
  manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$resources" | sed -n 's/^ *"\(.*\)"$/\1/p' |
    sed 's/""/"/g; s/\\n$//')
  [ -n "$manifest" ] || fail "$exe: no application manifest (resource 1, RT_MANIFEST)"
  local wanted
  for wanted in 'requestedExecutionLevel level="asInvoker"' \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \
    '>true</dpiAware>' '>PerMonitorV2, System</dpiAwareness>'; do
    grep -qF "$wanted" <<<"$manifest" || fail "$exe: manifest lacks $wanted"
  done
  echo "ok: $(basename "$(dirname "$exe")")/$(basename "$exe") ($arch): $size bytes, ${peFormat[$arch]}, system DLLs, version $version, manifest"
}

# The licence as the packages carry it: LICENSE with Windows line ends.
license=$work/LICENSE.txt
sed 's/$/\r/' "$here/../../LICENSE" >"$license"

# The help pages the packages must carry: every file of the help folder.
helpFiles=$(cd "$help_dir" && find . -type f | sed 's|^\./|Kestrune/help/|')
[ -n "$helpFiles" ] || fail "no help pages in $help_dir"
# same_help DIR WHERE: DIR holds exactly the help folder's files, each the same.
same_help() {
  diff -r "$help_dir" "$1" >"$work/help.diff" 2>&1 || fail "$2: the help pages differ from $help_dir: $(cat "$work/help.diff")"
}

# check_zip ARCH: a Kestrune folder with the exe, the licence and the help pages, nothing else.
check_zip() {
  local arch=$1
  local zip=$dist/Kestrune-$version-${zipSuffix[$arch]}.zip
  local files wanted
  files=$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
  wanted=$(printf '%s\n' Kestrune/Kestrune.exe Kestrune/LICENSE.txt "$helpFiles" | LC_ALL=C sort | tr '\n' ' ')
  [ "$files" = "$wanted" ] || fail "$zip holds: $files; wanted: $wanted"
  local zipBytes
  zipBytes=$(stat -c %s "$zip")
  [ "$zipBytes" -lt "$kMaxZipBytes" ] || fail "$zip: $zipBytes bytes, not under $kMaxZipBytes"
  mkdir -p "$work/zip-$arch"
  (cd "$work/zip-$arch" && cmake -E tar xf "$zip")
  same_help "$work/zip-$arch/Kestrune/help" "$zip"
  cmp -s "$work/zip-$arch/Kestrune/LICENSE.txt" "$license" || fail "$zip: LICENSE.txt is not LICENSE"
  echo "ok: $(basename "$zip") ($zipBytes bytes): Kestrune/Kestrune.exe, Kestrune/LICENSE.txt, $(wc -l <<<"$helpFiles") help pages"
  check_exe "$work/zip-$arch/Kestrune/Kestrune.exe" "$arch"
}

for arch in x64 x86; do
  check_zip "$arch"
  setup=$dist/Kestrune-$version-setup-$arch.exe
  "$objdump" -f "$setup" | grep -q "file format ${peFormat[$arch]}\$" || fail "$setup: not ${peFormat[$arch]}"
done

# A prefix of our own, headless (Wine's null graphics driver), no menu entries on this desktop.
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
timeout 180 "$WINE64" wineboot.exe -i >/dev/null 2>&1 || fail "wineboot -i in $WINEPREFIX"
timeout 60 "$WINE64" reg.exe add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null ||
  fail "could not set Wine's null graphics driver"
timeout 60 wineserver -w || fail "Wine did not settle after wineboot"

# wine_text COMMAND...: what a Windows console program prints, without carriage returns.
wine_text() {
  timeout 60 "$WINE64" "$@" | tr -d '\r'
}
uninstallKey='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrune'
# The profile folder: Wine names it after the Unix user.
profiles=$WINEPREFIX/drive_c/users
user=$(id -un)
[ -d "$profiles/$user" ] || fail "no Wine profile folder $profiles/$user"
install=$profiles/$user/AppData/Local/Programs/Kestrune
installWin="C:\\users\\$user\\AppData\\Local\\Programs\\Kestrune"
shortcut="$profiles/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kestrune.lnk"

# probe_window: the probe's line about the window "Kestrune".
probe_window() {
  printf 'read\nquit\n' | timeout 20 "$WINE64" "$probe" | tr -d '\r' | head -n 1
}

# run_installed ARCH: the installed exe starts and shows its window, and closes when asked.
run_installed() {
  local arch=$1 line= i
  "$WINE64" "$installWin\\Kestrune.exe" &
  kestrunePid=$!
  for i in $(seq 60); do
    # A probe that timed out is asked again, within the same bound.
    line=$(probe_window) || line=
    case $line in found=1*) break ;; esac
    kill -0 "$kestrunePid" 2>/dev/null || fail "installed Kestrune ($arch) ended before showing its window"
    sleep 0.5
  done
  case $line in
    found=1*time=0:00*) echo "ok: installed Kestrune ($arch) shows its window: $line" ;;
    *) fail "installed Kestrune ($arch) showed no window within 30 s: $line" ;;
  esac
  # taskkill without /F posts WM_CLOSE to the process's windows: the caption's close button.
  wine_text taskkill.exe /IM Kestrune.exe >/dev/null || fail "taskkill found no Kestrune window"
  for i in $(seq 30); do
    kill -0 "$kestrunePid" 2>/dev/null || break
    sleep 0.5
  done
  if kill -0 "$kestrunePid" 2>/dev/null; then fail "installed Kestrune ($arch) still runs 15 s after WM_CLOSE"; fi
  local status=0
  wait "$kestrunePid" || status=$?
  kestrunePid=
  [ "$status" -eq 0 ] || fail "installed Kestrune ($arch) exited with $status"
  echo "ok: installed Kestrune ($arch) closed on WM_CLOSE"
}

# The installer's languages beside English, as kestrune.nsi lists them: "NSIS-name tag" lines.
languages=$(sed -n 's/^ *!insertmacro \${DO} \([A-Za-z]*\) \([A-Za-z-]*\)\r\{0,1\}$/\1 \2/p' "$nsi")
[ -n "$languages" ] || fail "no languages in $nsi"
# The glibc locale each help tag is tested in.
declare -A testLocale=([de]=de_DE [fr]=fr_FR [es]=es_ES [it]=it_IT [pt-BR]=pt_BR [nl]=nl_NL
  [pl]=pl_PL [ru]=ru_RU [ja]=ja_JP [zh-CN]=zh_CN)
# One the installer does not speak: it must fall back to English.
kForeignLocale=sv_SE

# shortcut_tip NSIS-NAME: the shortcut's tip in that language, as kestrune.nsi gives it.
shortcut_tip() {
  local upper
  upper=$(tr '[:lower:]' '[:upper:]' <<<"$1")
  sed -n "s/^LangString SHORTCUT_TIP \${LANG_$upper} \"\(.*\)\"\r\{0,1\}\$/\1/p" "$nsi"
}

# make_locale NAME: NAME.UTF-8 in the test's own locale folder.
make_locale() {
  [ -f "/usr/share/i18n/locales/$1" ] || fail "no locale source for $1 (run scripts/install-deps.sh: package locales)"
  mkdir -p "$work/locales"
  timeout 120 localedef -i "$1" -f UTF-8 "$work/locales/$1.UTF-8" || fail "localedef $1 failed"
}

# link_tip LNK: the description stored in a shell link (MS-SHLLINK: NAME_STRING).
link_tip() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
pos = 0x4C
if flags & 0x1:  # HasLinkTargetIDList
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
if flags & 0x2:  # HasLinkInfo
    pos += struct.unpack_from("<I", data, pos)[0]
if not flags & 0x4:  # HasName
    sys.exit("the shortcut has no description")
count = struct.unpack_from("<H", data, pos)[0]
text = data[pos + 2 : pos + 2 + 2 * count].decode("utf-16-le") if flags & 0x80 else data[pos + 2 : pos + 2 + count].decode("cp1252")
print(text.rstrip("\0"))
PY
}

# install_and_uninstall ARCH LOCALE TIP: installs, runs and uninstalls in the language of LOCALE
# (a name made by make_locale); the shortcut's tip must be TIP.
install_and_uninstall() {
  local arch=$1 locale=$2 wantedTip=$3
  local installer=$dist/Kestrune-$version-setup-$arch.exe
  local start=$SECONDS tip
  export LOCPATH=$work/locales LANG=$locale.UTF-8
  timeout 120 "$WINE64" "$installer" /S || fail "$(basename "$installer") /S"
  timeout 60 wineserver -w || fail "$(basename "$installer") still runs"
  cmp -s "$install/Kestrune.exe" "$work/zip-$arch/Kestrune/Kestrune.exe" ||
    fail "$arch installer: $install/Kestrune.exe missing or not the zip's exe"
  same_help "$install/help" "$arch installer"
  cmp -s "$install/LICENSE.txt" "$license" || fail "$arch installer: LICENSE.txt missing or different"
  [ -f "$install/Uninstall.exe" ] || fail "$arch installer: no Uninstall.exe"
  [ -f "$shortcut" ] || fail "$arch installer: no Start-menu shortcut $shortcut"
  tip=$(link_tip "$shortcut") || fail "$arch installer: the shortcut's tip is unreadable"
  [ "$tip" = "$wantedTip" ] || fail "$arch installer under $LANG: the shortcut's tip is '$tip', not '$wantedTip'"
  echo "ok: $(basename "$installer") under $LANG: the shortcut's tip is '$tip'"

  local values name
  values=$(wine_text reg.exe query "$uninstallKey") || fail "$arch installer: no $uninstallKey"
  for name in DisplayName DisplayVersion Publisher DisplayIcon UninstallString EstimatedSize; do
    grep -Eq "^ +$name +REG_(SZ|DWORD) +[^ ]" <<<"$values" || fail "$arch installer: $name missing in $uninstallKey"
  done
  grep -Eq "^ +DisplayVersion +REG_SZ +$version\$" <<<"$values" || fail "$arch installer: DisplayVersion is not $version"
  grep -Fq "$installWin\\Uninstall.exe" <<<"$values" || fail "$arch installer: UninstallString does not name $installWin\\Uninstall.exe"
  grep -Eq "^ +EstimatedSize +REG_DWORD +0x0*[1-9a-f]" <<<"$values" || fail "$arch installer: EstimatedSize is 0"
  echo "ok: $(basename "$installer") /S: files, Start-menu shortcut, $uninstallKey"

  run_installed "$arch"

  timeout 60 "$WINE64" "$installWin\\Uninstall.exe" /S || fail "Uninstall.exe /S ($arch)"
  # The uninstaller goes on from a copy of itself in the temporary folder: wait for it.
  timeout 60 wineserver -w || fail "the uninstaller ($arch) still runs"
  [ ! -e "$install" ] || fail "after uninstalling ($arch) $install remains: $(ls -R "$install")"
  [ ! -e "$shortcut" ] || fail "after uninstalling ($arch) the Start-menu shortcut remains"
  if wine_text reg.exe query "$uninstallKey" >/dev/null 2>&1; then fail "after uninstalling ($arch) $uninstallKey remains"; fi
  echo "ok: Uninstall.exe /S ($arch) removed the folder, the shortcut and the entry ($((SECONDS - start)) s)"
  unset LOCPATH LANG
}

# One of the installer's languages at random, and one it does not speak.
mapfile -t languageLines <<<"$languages"
tag=${KESTRUNE_INSTALLER_TAG:-}
if [ -z "$tag" ]; then
  line=${languageLines[RANDOM % ${#languageLines[@]}]}
  tag=${line#* }
fi
nsisName=
for line in "${languageLines[@]}"; do
  if [ "${line#* }" = "$tag" ]; then nsisName=${line%% *}; fi
done
[ -n "$nsisName" ] || fail "kestrune.nsi has no language with the tag '$tag'"
ownLocale=${testLocale[$tag]:-}
[ -n "$ownLocale" ] || fail "no test locale for the installer language '$tag': add it to testLocale"
ownTip=$(shortcut_tip "$nsisName")
englishTip=$(shortcut_tip English)
[ -n "$ownTip" ] && [ -n "$englishTip" ] || fail "no SHORTCUT_TIP for $nsisName or English in $nsi"
[ "$ownTip" != "$englishTip" ] || fail "the $nsisName SHORTCUT_TIP is the English one: the check could not tell them apart"
echo "installer languages: $tag ($ownLocale, KESTRUNE_INSTALLER_TAG=$tag repeats it), and $kForeignLocale for English"
make_locale "$ownLocale"
make_locale "$kForeignLocale"

install_and_uninstall x64 "$ownLocale" "$ownTip"
if kestrune_runs_32bit; then
  install_and_uninstall x86 "$kForeignLocale" "$englishTip"
else
  echo "skipped: the x86 installer under Wine (this machine does not run 32-bit programs)"
  install_and_uninstall x64 "$kForeignLocale" "$englishTip"
fi
echo "package checks passed"
