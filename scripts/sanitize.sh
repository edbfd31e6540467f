#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there, leak checking included.
# Extra arguments go to ctest (for example -R Soak or -L window).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build_dir="${BUILD_DIR:-build-asan}"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DREGDIAG_SANITIZE=ON -DREGDIAG_BUILD_BENCH=OFF
cmake --build "$build_dir" --parallel

# Leaks are reported at exit. The suppressions cover only allocations made and
# kept inside the system libraries under Qt; see the file for each entry.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

cd "$build_dir"
ctest --output-on-failure --timeout 900 -j2 "$@"
