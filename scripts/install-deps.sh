#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, only what is missing.
# Set TOV_WINDOWS=1 to add the cross compiler and Wine.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev
          librust-serde-json-dev librust-serde-derive-dev librust-ryu-dev clang)
if [ "${TOV_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Toolchains that may come from elsewhere (rustup, NodeSource) count when their command runs.
command -v cargo >/dev/null 2>&1 || missing+=(cargo)
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
