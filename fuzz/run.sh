#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, side by side, and fails on any finding.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]      (default 20)
#
# Environment: BUILD_DIR (default build/fuzz). Findings are kept in BUILD_DIR/findings/.
# The targets run in an empty working folder with APPDATA naming an empty folder, so that
# none of them reaches a file, the user's data or an app.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=${BUILD_DIR:-$repo/build/fuzz}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$repo/fuzz/build.sh" "$build" >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  echo "fuzz: the targets did not build"
  exit 1
fi
mkdir -p "$work/appdata" "$work/cwd"
findings=$build/findings
mkdir -p "$findings"

targets=()
for binary in "$build"/*_fuzz; do
  targets+=("$(basename "$binary" _fuzz)")
done

pids=()
for target in "${targets[@]}"; do
  mkdir -p "$work/corpus/$target" "$findings/$target"
  dict=()
  case $target in json_parse | records | mcp_serve) dict=(-dict="$repo/fuzz/json.dict") ;; esac
  (
    cd "$work/cwd"
    env APPDATA="$work/appdata" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$build/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 "${dict[@]}" \
      -artifact_prefix="$findings/$target/" \
      "$work/corpus/$target" "$repo/fuzz/corpus/$target" >"$work/$target.log" 2>&1
  ) &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  if wait "${pids[$i]}"; then
    runs=$(grep -m1 'stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}')
    echo "fuzz: $target: ${runs:-?} runs in ${seconds}s, no finding"
  else
    failed=1
    echo "fuzz: $target: FINDING (inputs kept in $findings/$target/)"
    grep -E 'ERROR|property broken|SUMMARY|^    #[0-9]+ ' "$work/$target.log" | head -30 | sed 's/^/  /'
  fi
done
exit $failed
