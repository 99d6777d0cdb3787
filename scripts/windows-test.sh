#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 and runs their whole test suite under Wine.
# Wine needs care in CI: a fresh prefix made once, before tests run in parallel; a Wine
# server started with its streams on /dev/null, so that it holds none of ours; and the
# server stopped at the end, whatever happens, so that nothing outlives the run.
set -euo pipefail
cd "$(dirname "$0")/.."
TOV_WINDOWS=1 scripts/install-deps.sh
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/windows/wine-prefix"
jobs=$(nproc)

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
wineserver -k </dev/null >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
# No Mono or Gecko: the tests need neither, and their installers would ask for a download.
WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot --init </dev/null >/dev/null 2>&1

# A Wine process now and then fails to start under parallel load; a test gets one more try.
ctest --preset windows -j "$jobs" --repeat until-pass:2
