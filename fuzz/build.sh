#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan.
#
#   fuzz/build.sh [BUILD_DIR]        (default: build/fuzz)
#
# Our headers need clang 19 (std::expected of GCC 12's library); when it is missing and we
# run as root, it is installed from Debian's packages.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/fuzz}
clang=${FUZZ_CXX:-clang++-19}

if ! command -v "$clang" >/dev/null || ! "$clang" -print-file-name=libclang_rt.fuzzer-x86_64.a |
    grep -q /; then
  if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "fuzz: installing clang-19 and its runtime libraries" >&2
    apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      clang-19 libclang-rt-19-dev >&2
  else
    echo "fuzz: $clang with libFuzzer is needed (apt-get install clang-19 libclang-rt-19-dev)" >&2
    exit 1
  fi
fi

cmake -S "$repo/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$clang" >/dev/null
cmake --build "$build"
