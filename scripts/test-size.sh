#!/usr/bin/env bash
# Prints the size of the test code against the code it tests, in lines of the
# files git holds: test code is everything under tests/ and fuzz/ except data
# files and fuzzing corpora; code is the C++ under src/.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r cat -- | wc -l; }
code=$(git ls-files 'src/*.cpp' 'src/*.h' | count)
tests=$(git ls-files tests fuzz | grep -vE '\.(csv|svd|bin|txt|json|png)$|/corpus/' | count)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, code %d lines, ratio %.2f\n", t, c, t / c }'
