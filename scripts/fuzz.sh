#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for the
# given seconds (default 60), two at a time, niced, from the seed corpus in
# tests/fuzz/corpus/.  The corpus each run grows is kept in
# build-fuzz/corpus/<target>; a crash leaves build-fuzz/crashes/<target>-crash-*
# and fails the script.  Usage: scripts/fuzz.sh [seconds] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
all=(unscramble jpeg jet_sql connection_string gbk toml svg)
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -DAOSHU_FUZZ=ON -DAOSHU_HARDENING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p build-fuzz/crashes build-fuzz/logs
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# Leaks are not what these runs look for (Qt keeps its caches to the end).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

run() {
  local target=$1
  mkdir -p "build-fuzz/corpus/$target"
  nice -n 10 "build-fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/crashes/$target-" \
    "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target" >"build-fuzz/logs/$target.log" 2>&1
}

status=0

report() {
  local target=$1 code=$2 log="build-fuzz/logs/$1.log"
  local runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  local corpus=$(ls "build-fuzz/corpus/$target" | wc -l)
  if ((code == 0)); then
    echo "fuzz: $target: $runs runs in ${seconds} s, no crash; corpus $corpus inputs"
  else
    echo "fuzz: $target: FAILED (exit $code) after $runs runs; see $log" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 >&2 || true
    status=1
  fi
}
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  names=()
  for target in "${targets[@]:i:2}"; do
    run "$target" &
    pids+=($!)
    names+=("$target")
  done
  for j in "${!pids[@]}"; do
    code=0
    wait "${pids[j]}" || code=$?
    report "${names[j]}" "$code"
  done
done
exit "$status"
