#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the x64 and x86 exes and runs every test of both.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh

for preset in x64 x86; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset"
done
