#!/bin/sh
# Installs the pinned MCP SDK into the build folder and runs the client test against the
# built program. Exit 77 (skipped) when npm or node is not there.
#   run.sh SOURCE_DIR WORK_DIR PROGRAM
set -eu
src=$1 work=$2 program=$3
command -v npm >/dev/null 2>&1 && command -v node >/dev/null 2>&1 || {
  echo "npm or node not found: skipping the MCP SDK client test"
  exit 77
}
mkdir -p "$work"
cp "$src/package.json" "$src/package-lock.json" "$src/client.mjs" "$work/"
# Install again only when the lock file changed since the last install.
if ! cmp -s "$work/package-lock.json" "$work/node_modules/.installed-lock.json" 2>/dev/null; then
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$work/package-lock.json" "$work/node_modules/.installed-lock.json"
fi
exec node "$work/client.mjs" "$program"
