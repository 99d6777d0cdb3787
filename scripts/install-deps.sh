#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, only what is missing.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev
          cargo librust-serde-json-dev librust-ryu-dev clang nodejs npm)
if [ "${TOV_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
