#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. The program's output goes through files,
# so that Wine's own helper processes, which linger for a while after the program ends,
# never hold CTest's pipes open; WINEDEBUG keeps Wine's diagnostics out of the output.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
out=$(mktemp) && err=$(mktemp) || exit 1
trap 'rm -f "$out" "$err"' EXIT
wine "$@" </dev/null >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit "$status"
