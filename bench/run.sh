#!/usr/bin/env bash
# Measures the program beside the programs a user could use instead and prints one table.
# Run by hand (never in CI): it builds what it needs, starts local answer servers, and runs
# every row's programs in one run, medians of repeated runs.
#
#   bench/run.sh [--runs N] [--mcp-runs N]
#
# Environment: BUILD_DIR (default build/bench), a CMake build folder of this repository.
# Needs hyperfine and GNU time (apt-get install hyperfine time), cargo, node and npm.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build/bench}
runs=200
mcp_runs=5
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --mcp-runs) mcp_runs=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--mcp-runs N]" >&2; exit 2 ;;
  esac
done
for tool in hyperfine /usr/bin/time cargo node npm python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done

# ---- Build ------------------------------------------------------------------------------
echo "== building in $build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tov-office-desktop floor_client answer_server >/dev/null
quillboard=$build/quillboard
floor=$build/bench/floor_client
answer_server=$build/bench/answer_server

# The serde peer builds offline from Debian's crate sources.
CARGO_TARGET_DIR=$build/cargo cargo build --release --offline --quiet \
  --manifest-path "$repo/bench/serde_peer_client/Cargo.toml" \
  --config 'source.crates-io.replace-with="debian"' \
  --config 'source.debian.directory="/usr/share/cargo/registry"'
serde_peer=$build/cargo/release/serde_peer_client

sdk_dir=$repo/bench/mcp_sdk_peer
[[ -d $sdk_dir/node_modules ]] || (cd "$sdk_dir" && npm ci --no-audit --no-fund --silent)

# ---- Local apps -------------------------------------------------------------------------
work=$(mktemp -d)
server_pids=()
cleanup() {
  for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

start_server() {  # APPDATA MODE
  mkdir -p "$1"
  "$answer_server" "$1" "$2" 1800 &
  server_pids+=($!)
  for _ in $(seq 100); do
    [[ -f $1/com.vantix.office/cli-control.json ]] && return 0
    sleep 0.05
  done
  echo "bench: answer server did not publish in $1" >&2
  exit 1
}
start_server "$work/status-app" status
start_server "$work/big-app" big

# Every program runs with the same small environment: no agent variables of this machine.
clean_env() {  # APPDATA, then the command
  local appdata=$1; shift
  env -i PATH=/usr/bin:/bin APPDATA="$appdata" "$@"
}

# Peak resident memory in KiB: the median of five runs.
peak_kib() {  # APPDATA INPUT_FILE COMMAND...
  local appdata=$1 input=$2; shift 2
  for _ in 1 2 3 4 5; do
    clean_env "$appdata" /usr/bin/time -f %M -o "$work/rss" "$@" <"$input" >/dev/null 2>&1 || true
    tail -1 "$work/rss"
  done | sort -n | sed -n 3p
}

# Times the named commands in one hyperfine run; the JSON lands in $work/NAME.json.
time_commands() {  # NAME APPDATA HYPERFINE_ARGS... -- COMMANDS...
  local name=$1 appdata=$2; shift 2
  clean_env "$appdata" hyperfine --style none "$@" --export-json "$work/$name.json" >/dev/null
}

check_same_output() {  # APPDATA LABEL
  local appdata=$1 label=$2
  clean_env "$appdata" "$quillboard" status >"$work/ours.out"
  clean_env "$appdata" "$serde_peer" >"$work/serde.out"
  if ! cmp -s "$work/ours.out" "$work/serde.out"; then
    echo "bench: $label: quillboard and the serde peer print different data" >&2
    exit 1
  fi
}

# ---- Rows 1 and 2: one command's whole process ------------------------------------------
check_same_output "$work/status-app" "status answer"
check_same_output "$work/big-app" "8 MiB answer"

echo "== row 1: status ($runs runs each)" >&2
control1=$work/status-app/com.vantix.office/cli-control.json
time_commands row1 "$work/status-app" -N --warmup 20 --runs "$runs" \
  -n quillboard "$quillboard status" -n floor "$floor $control1" -n serde_peer "$serde_peer"

echo "== row 2: 8 MiB answer ($((runs / 4)) runs each)" >&2
control2=$work/big-app/com.vantix.office/cli-control.json
time_commands row2 "$work/big-app" -N --output=pipe --warmup 5 --runs $((runs / 4)) \
  -n quillboard "$quillboard status" -n floor "$floor $control2" -n serde_peer "$serde_peer"

: >"$work/empty"
for row in 1 2; do
  app=$work/status-app; control=$control1
  [[ $row == 2 ]] && { app=$work/big-app; control=$control2; }
  {
    echo "quillboard $(peak_kib "$app" "$work/empty" "$quillboard" status)"
    echo "floor $(peak_kib "$app" "$work/empty" "$floor" "$control")"
    echo "serde_peer $(peak_kib "$app" "$work/empty" "$serde_peer")"
  } >"$work/row$row.rss"
done

# ---- Row 3: the MCP serve loop ----------------------------------------------------------
echo "== row 3: MCP serve loop ($mcp_runs runs each)" >&2
empty_appdata=$work/no-app
mkdir -p "$empty_appdata"
printf '{"jsonrpc":"2.0","id":1,"method":"tools/list"}\n' |
  clean_env "$empty_appdata" "$quillboard" mcp >"$work/tools.json"

make_session() {  # METHOD COUNT FILE
  {
    printf '%s\n' '{"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-11-25","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}}'
    printf '%s\n' '{"jsonrpc":"2.0","method":"notifications/initialized"}'
    seq 1 "$2" | sed "s#.*#{\"jsonrpc\":\"2.0\",\"id\":&,\"method\":\"$1\"}#"
  } >"$3"
}
make_session ping 100000 "$work/ping.in"
make_session tools/list 10000 "$work/list.in"

sdk_server="node $sdk_dir/server.mjs $work/tools.json"
for kind in ping list; do
  expected=$(($(wc -l <"$work/$kind.in") - 1))
  for who in quillboard sdk; do
    cmd="$quillboard mcp"
    [[ $who == sdk ]] && cmd=$sdk_server
    got=$(clean_env "$empty_appdata" sh -c "$cmd" <"$work/$kind.in" | wc -l)
    if [[ $got != "$expected" ]]; then
      echo "bench: $who answered $got of $expected $kind requests" >&2
      exit 1
    fi
  done
  time_commands "mcp_$kind" "$empty_appdata" --warmup 1 --runs "$mcp_runs" \
    -n quillboard "$quillboard mcp <$work/$kind.in" -n mcp_sdk "$sdk_server <$work/$kind.in"
  {
    echo "quillboard $(peak_kib "$empty_appdata" "$work/$kind.in" "$quillboard" mcp)"
    # shellcheck disable=SC2086
    echo "mcp_sdk $(peak_kib "$empty_appdata" "$work/$kind.in" $sdk_server)"
  } >"$work/mcp_$kind.rss"
done

# ---- The table ----------------------------------------------------------------------------
python3 - "$work" <<'EOF'
import json, sys
work = sys.argv[1]

def load(name):
    results = {r["command"]: r for r in json.load(open(f"{work}/{name}.json"))["results"]}
    rss = dict(line.split() for line in open(f"{work}/{name}.rss"))
    return results, rss

def row(title, name, requests=None):
    results, rss = load(name)
    ours = results["quillboard"]["median"]
    print(f"\n{title}")
    head = f"  {'program':<12}{'median':>12}{'min':>12}{'max':>12}{'stddev':>10}{'x ours':>9}{'peak RSS':>12}"
    if requests:
        head += f"{'msgs/s':>12}"
    print(head)
    for who, r in results.items():
        unit, scale = ("ms", 1e3) if ours < 1 else ("s", 1)
        line = (f"  {who:<12}{r['median']*scale:>10.3f}{unit:>2}{r['min']*scale:>10.3f}{unit:>2}"
                f"{r['max']*scale:>10.3f}{unit:>2}{r['stddev']*scale:>8.3f}{unit:>2}"
                f"{r['median']/ours:>9.2f}{int(rss[who])/1024:>9.1f}MiB")
        if requests:
            line += f"{requests / r['median']:>12.0f}"
        print(line)
    return results, rss

def goal(text, met):
    print(f"  goal: {text}: {'met' if met else 'MISSED'}")

r, m = row("1. quillboard status, app answering at once", "row1")
goal(f"within 1.1x of the floor ({r['quillboard']['median']/r['floor']['median']:.2f}x)",
     r["quillboard"]["median"] <= 1.1 * r["floor"]["median"])
goal("ahead of the serde peer", r["quillboard"]["median"] < r["serde_peer"]["median"])

r, m = row("2. 8 MiB answer, request to printed data", "row2")
goal("ahead of the serde peer in time", r["quillboard"]["median"] < r["serde_peer"]["median"])
goal("ahead of the serde peer in peak memory", int(m["quillboard"]) < int(m["serde_peer"]))

for kind, count in (("ping", 100000), ("list", 10000)):
    title = "100,000 ping lines" if kind == "ping" else "10,000 tools/list lines"
    r, m = row(f"3. MCP serve loop, {title}", f"mcp_{kind}", requests=count)
    speed = r["mcp_sdk"]["median"] / r["quillboard"]["median"]
    goal(f"20x the SDK server's throughput ({speed:.1f}x)", speed >= 20)
    memory = int(m["mcp_sdk"]) / int(m["quillboard"])
    goal(f"a tenth of its peak memory ({memory:.1f}x less)", memory >= 10)
EOF

# ---- Row 4: JSON throughput, measured by the JSON library's own benchmark ---------------
if [[ -x $repo/bench/json_bench.sh ]]; then
  echo
  echo "4. JSON parse and write throughput beside serde_json"
  BUILD_DIR=$build "$repo/bench/json_bench.sh"
else
  echo
  echo "4. JSON parse and write throughput: bench/json_bench.sh is not there yet"
fi
echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
