#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, only what is missing.
# Set TOV_WINDOWS=1 to add the cross compiler and Wine.
set -euo pipefail
packages=(g++ cmake ninja-build nlohmann-json3-dev libgtest-dev libgmock-dev
          librust-serde-json-dev librust-serde-derive-dev librust-ryu-dev)
if [ "${TOV_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Toolchains that may come from elsewhere (rustup, NodeSource) count when their command runs.
# Without a cargo, the current Rust of Debian 12's security suite: Debian's own cargo brings
# rustc 1.63, whose string escaping follows an older Unicode than the differential test's.
rust=()
command -v cargo >/dev/null 2>&1 || rust=(rustc-web cargo-web)
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ] || [ ${#rust[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#missing[@]} -eq 0 ] || echo "installing: ${missing[*]}"
  if [ ${#rust[@]} -gt 0 ]; then
    version=$(apt-cache policy cargo-web | sed -n 's/^ *Candidate: //p')
    echo "installing Rust for the differential test: rustc-web and cargo-web $version" \
         "(Debian 12's current Rust, as /usr/bin/rustc and /usr/bin/cargo)"
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}" "${rust[@]}" >/dev/null
fi
