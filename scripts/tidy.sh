#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over every source file under
# src/, using the compile commands of a finished build (default build-test).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-test}"
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: build first" >&2; exit 2; }
mapfile -t sources < <(git ls-files 'src/*.cpp')
log=$(mktemp)
status=0
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${sources[@]}" >"$log" 2>&1 || status=$?
grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Suppressed [0-9]+ warnings|^Use -header-filter|^clang-tidy-14 |^Running clang-tidy|^$' "$log" || true
rm -f "$log"
if [ "$status" -ne 0 ]; then echo "clang-tidy: findings above" >&2; else echo "clang-tidy: clean (${#sources[@]} files)"; fi
exit "$status"
