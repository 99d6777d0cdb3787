#!/usr/bin/env bash
# Builds everything and runs every test: the release build, the sanitizer build, the
# Windows build under Wine, and a short bounded run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
TOV_WINDOWS=1 scripts/install-deps.sh
jobs=$(nproc)
for preset in default asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
scripts/windows-test.sh
fuzz/run.sh 20
