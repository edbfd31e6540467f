#!/usr/bin/env bash
# The long soak: builds the soak test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs it for the given number
# of cycles (default 1000), leak checking included. The seed is printed; give
# it as the second argument to repeat a run.
#
#   scripts/soak.sh [cycles] [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build_dir="${BUILD_DIR:-build-asan}"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DREGDIAG_SANITIZE=ON -DREGDIAG_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" --parallel --target soak_test

export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
export REGDIAG_SOAK_CYCLES="${1:-1000}"
if [ -n "${2:-}" ]; then export REGDIAG_SOAK_SEED="$2"; fi
exec "$build_dir/tests/soak/soak_test"
