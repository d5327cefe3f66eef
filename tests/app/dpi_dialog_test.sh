#!/usr/bin/env bash
# Runs the real dialog's scale test under Wine at 96, 144 and 192 dpi: Wine's LogPixels set in
# a prefix of this test's own below the build folder, whose server is ended at the end.
#   tests/app/dpi_dialog_test.sh TEST.exe PREFIX ARCH
set -euo pipefail
exe=$1
prefix=$2
arch=$3
run=$(dirname "$0")/../../cmake/wine-run.sh
# The runner's own variable: it never takes an inherited WINEPREFIX.
export KESTRUNE_TEST_WINEPREFIX=$prefix
end_server() { WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true; }
trap end_server EXIT
status=0
for dpi in 96 144 192; do
  echo "--- $dpi dpi"
  # wine-run.sh makes the prefix on its first use.
  "$run" --arch "$arch" reg.exe add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null
  KESTRUNE_TEST_DPI=$dpi "$run" --arch "$arch" "$exe" --gtest_filter='RealDialog.*' || status=1
done
exit $status
