#!/usr/bin/env bash
# Runs the window's fit test in each language Kestrune speaks, as a user with that language
# meets it: LANG set to a real locale (made with localedef into this test's own folder, so the
# machine's are left alone), at 96 and 144 dpi, in a prefix of this test's own whose server is
# ended at the end.
#   tests/app/languages_test.sh TEST.exe FOLDER ARCH
set -euo pipefail
exe=$1
folder=$2
arch=$3
run=$(dirname "$0")/../../cmake/wine-run.sh
source "$(dirname "$0")/../../scripts/ours.sh"
[ -d "$folder" ] || kestrune_new_folder "$folder"
locales=$folder/locales
mkdir -p "$locales"
# The runner's own variable: it never takes an inherited WINEPREFIX.
export KESTRUNE_TEST_WINEPREFIX=$folder/prefix
end_server() { WINEPREFIX=$KESTRUNE_TEST_WINEPREFIX timeout 30 wineserver -k 2>/dev/null || true; }
trap end_server EXIT

# language tag, then the locale a user of that language has
languages=(en:en_US de:de_DE fr:fr_FR es:es_ES it:it_IT pt-BR:pt_BR nl:nl_NL pl:pl_PL
           ru:ru_RU ja:ja_JP zh-CN:zh_CN)
status=0
for dpi in 96 144; do
  "$run" --arch "$arch" reg.exe add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null
  for entry in "${languages[@]}"; do
    tag=${entry%%:*}
    locale=${entry#*:}.UTF-8
    [ -d "$locales/$locale" ] || localedef -i "${locale%.UTF-8}" -f UTF-8 "$locales/$locale"
    echo "--- $tag ($locale) at $dpi dpi"
    LOCPATH=$locales LANG=$locale LC_ALL=$locale KESTRUNE_EXPECT_LANGUAGE=$tag \
      "$run" --arch "$arch" "$exe" --gtest_filter='WindowTexts.*' --gtest_brief=1 || status=1
  done
done
exit $status
