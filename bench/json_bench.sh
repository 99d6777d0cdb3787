#!/usr/bin/env bash
# Parses and writes one 8 MiB answer with our JSON text layer and with serde_json, on the
# same bytes, in one run: each side takes the median of RUNS parses and RUNS writes, and
# the whole is repeated ROUNDS times to show the run-to-run noise. Run by hand, not in CI.
#
#   bench/json_bench.sh            environment: BUILD_DIR (default build/json-bench),
#                                  RUNS (default 20), ROUNDS (default 5), MIB (default 8)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build/json-bench}
runs=${RUNS:-20}
rounds=${ROUNDS:-5}
mib=${MIB:-8}
registry=${CARGO_REGISTRY:-/usr/share/cargo/registry}

echo "== building in $build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target json_bench >/dev/null
ours=$build/bench/json_bench

# The serde_json side builds offline from a copy in the build folder, with crates-io
# replaced by the distribution's crate sources.
peer=$build/json_serde_peer
mkdir -p "$peer/.cargo"
cp "$repo/bench/json_serde_peer/Cargo.toml" "$peer/"
cp -r "$repo/bench/json_serde_peer/src" "$peer/"
printf '[source.crates-io]\nreplace-with = "system"\n\n[source.system]\ndirectory = "%s"\n' \
  "$registry" > "$peer/.cargo/config.toml"
(cd "$peer" && CARGO_TARGET_DIR="$peer/target" cargo build --offline --release --quiet)
theirs=$peer/target/release/json_serde_peer

answer=$build/answer.json
"$ours" generate "$answer" "$mib"
size=$(wc -c < "$answer")
echo "== $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')" >&2
echo "== answer: $size bytes; $runs parses and writes per side and round, $rounds rounds" >&2

value() { awk -v key="$1" '$1 == key { print $2 }'; }
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for round in $(seq "$rounds"); do
  a=$("$ours" measure "$answer" "$runs")
  b=$("$theirs" measure "$answer" "$runs")
  if [[ $(value bytes <<<"$a") != $(value bytes <<<"$b") ]]; then
    echo "the two sides wrote texts of different sizes" >&2
    exit 1
  fi
  echo "$round $(value parse <<<"$a") $(value parse <<<"$b") $(value write <<<"$a") $(value write <<<"$b")" >> "$results"
done

awk -v size="$size" '
  function median(v, n,   i, j, t) {
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function spread(v, n,   i, lo, hi) {
    lo = hi = v[1]
    for (i = 2; i <= n; i++) { if (v[i] < lo) lo = v[i]; if (v[i] > hi) hi = v[i] }
    return 100 * (hi - lo) / median(v, n)
  }
  {
    n++
    printf "round %d: parse ours %.2f ms, serde_json %.2f ms; write ours %.2f ms, serde_json %.2f ms\n", $1, $2, $3, $4, $5
    po[n] = $2; ps[n] = $3; wo[n] = $4; ws[n] = $5
    rp[n] = $3 / $2; rw[n] = $5 / $4
  }
  END {
    nspo = spread(po, n); nsps = spread(ps, n); nswo = spread(wo, n); nsws = spread(ws, n)
    mpo = median(po, n); mps = median(ps, n); mwo = median(wo, n); mws = median(ws, n)
    mb = size / 1048576
    printf "\n%-6s %12s %12s %12s %12s %8s\n", "", "ours ms", "serde ms", "ours MiB/s", "serde MiB/s", "ratio"
    printf "%-6s %12.2f %12.2f %12.0f %12.0f %8.2f\n", "parse", mpo, mps, mb / mpo * 1000, mb / mps * 1000, mps / mpo
    printf "%-6s %12.2f %12.2f %12.0f %12.0f %8.2f\n", "write", mwo, mws, mb / mwo * 1000, mb / mws * 1000, mws / mwo
    printf "\nratio: serde_json time / our time (above 1: we are faster)\n"
    printf "median of the rounds\x27 own ratios (both sides ran back to back): parse %.2f, write %.2f\n", median(rp, n), median(rw, n)
    printf "noise (max-min of the round medians, in %% of their median): parse %.1f%% / %.1f%%, write %.1f%% / %.1f%%\n", nspo, nsps, nswo, nsws
  }' "$results"
