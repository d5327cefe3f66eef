#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the x64 and x86 exes and the packages, and runs every
# test of both builds (the x86 tests only where this machine can run 32-bit programs).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh

bash scripts/install-deps.sh
bash scripts/check-format.sh
runs_32bit=yes
kestrune_runs_32bit || runs_32bit=no

for preset in x64 x86; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
# The packages from these builds, so that the x64 tests check them too.
bash scripts/package.sh --no-deps --no-test

for preset in x64 x86; do
  if [ "$preset" = x86 ] && [ "$runs_32bit" = no ]; then
    echo "== x86: tests skipped: this machine cannot run 32-bit programs (the x86 exe is built, not run)"
    continue
  fi
  echo "== $preset: tests"
  # A new Wine prefix takes a minute or two to make: made here, outside every test's time limit.
  KESTRUNE_BUILD_DIR="$PWD/build/$preset" timeout 600 bash cmake/wine-run.sh --prepare
  ctest --preset "$preset"
done
