#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each of them for
# the given number of seconds (default 60), all at once, on a scratch copy of
# its seed corpus; the corpora in the tree are never written. Prints the
# executions each target reached and exits non-zero when any target found a
# crash, a leak or a broken invariant; the input that did it is kept under
# build-fuzz/artifacts/.
#
#   scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build_dir="${FUZZ_BUILD_DIR:-build-fuzz}"
targets=(map snapshot hex_keys svd replay_log cli_args)

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --parallel

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build_dir/artifacts"
artifacts="$(cd "$build_dir/artifacts" && pwd)"

pids=()
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  cp -r "fuzz/corpus/$target" "$scratch/$target/corpus"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/$target-")
  # A row's box has few states: short operation sequences reach them all,
  # and run several times faster than the 4 KiB default.
  [ "$target" = hex_keys ] && args+=(-max_len=256)
  # A map reader's state is bounded (32 pages of 6 rows, one register at a
  # time): 1 KiB holds 90 lines, enough to reach every limit, and reading
  # longer files only costs time.
  [ "$target" = map ] && args+=(-max_len=1024)
  "$build_dir/${target}_fuzzer" "${args[@]}" "$scratch/$target/corpus" >"$scratch/$target/log" 2>&1 &
  pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
  target="${targets[$i]}"
  log="$scratch/$target/log"
  result=0
  wait "${pids[$i]}" || result=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$result" -eq 0 ]; then
    echo "$target: ${executions:-?} executions in ${seconds} s (${rate:-?}/s), no crash"
  else
    status=1
    echo "$target: FAILED (exit $result) after ${executions:-?} executions; inputs kept in $artifacts"
    grep -E 'ERROR|invariant broken|hex box broken|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
exit "$status"
