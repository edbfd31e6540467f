#!/usr/bin/env bash
# Holds two builds of regdiag against each other in one run, taking turns, so
# that the load of a shared machine falls on both alike: the cold start and
# the resident memory of both programs (against the minimal Qt program of
# the second build), Read All with accessibility on (bench/a11y) and Read All
# offscreen (window_bench).
#
#   bench/before_after.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [ROUNDS]
#
# Each build dir must hold Release builds of regdiag, regdiag-sim,
# window_bench, start_probe and minimal_qt (bench/run_all.sh builds them).
# ROUNDS (default 15) cold starts per program and build; ROUNDS / 3 Read Alls
# with accessibility on per build, in runs of one; 3 offscreen Read Alls.
set -euo pipefail
cd "$(dirname "$0")/.."
before=$(realpath "$1")
after=$(realpath "$2")
rounds="${3:-15}"
out=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
probe() { "$after/bench/start_probe" 1500 "$1"; }

for build in "$before" "$after"; do
  for program in regdiag regdiag-sim; do probe "$build/src/$program" >/dev/null; done
done
for ((i = 0; i < rounds; i++)); do
  for tag in before after; do
    build=$before
    [ "$tag" = after ] && build=$after
    for program in regdiag regdiag-sim; do probe "$build/src/$program" >>"$out/start_${tag}_$program.txt"; done
  done
  probe "$after/bench/minimal_qt" >>"$out/start_minimal_qt.txt"
done
for ((i = 0; i < (rounds + 2) / 3; i++)); do
  for tag in before after; do
    build=$before
    [ "$tag" = after ] && build=$after
    bench/a11y/read_all_atspi.sh "$build/src/regdiag-sim" 1 >>"$out/a11y_$tag.txt"
  done
done
for tag in before after; do
  build=$before
  [ "$tag" = after ] && build=$after
  "$build/bench/window_bench" --benchmark_filter='BM_ReadAllRegisters' >"$out/readall_$tag.txt" 2>&1
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() {
  sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" "$2" | sort -g |
    awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
min_ms=$(median shown_ms "$out/start_minimal_qt.txt")
min_kib=$(median settled_rss_kib "$out/start_minimal_qt.txt")
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Load average (1, 5, 15 min): $load_before before, $load_after after"
echo "Minimal Qt program: cold start $min_ms ms, resident $(awk -v k="$min_kib" 'BEGIN {printf "%.1f", k / 1024}') MiB (median of $rounds)"
echo
echo "| measure | before | after |"
echo "|---|---|---|"
for program in regdiag regdiag-sim; do
  for tag in before after; do
    eval "ms_$tag=\$(median shown_ms \"\$out/start_${tag}_$program.txt\")"
    eval "kib_$tag=\$(median settled_rss_kib \"\$out/start_${tag}_$program.txt\")"
  done
  awk -v p="$program" -v b="$ms_before" -v a="$ms_after" -v m="$min_ms" -v n="$rounds" 'BEGIN {
    printf "| Cold start, %s (median of %d) | %.1f ms (%.2f×) | %.1f ms (%.2f×) |\n", p, n, b, b / m, a, a / m }'
  awk -v p="$program" -v b="$kib_before" -v a="$kib_after" -v m="$min_kib" 'BEGIN {
    printf "| Resident memory 1.5 s after shown, %s | %.1f MiB (%.2f×) | %.1f MiB (%.2f×) |\n", p, b / 1024, b / m, a / 1024, a / m }'
done
for tag in before after; do
  eval "a11y_$tag=\$(median shown_s \"\$out/a11y_$tag.txt\")"
  eval "step_$tag=\$(median step_ms \"\$out/a11y_$tag.txt\")"
  eval "off_$tag=\$(median median_s \"\$out/readall_$tag.txt\")"
done
n=$(grep -c . "$out/a11y_after.txt")
awk -v b="$a11y_before" -v a="$a11y_after" -v n="$n" 'BEGIN {
  printf "| Read All with accessibility on, first to last change (median of %d) | %.3f s (%.3f×) | %.3f s (%.3f×) |\n", n, b, b / 2.56, a, a / 2.56 }'
awk -v b="$step_before" -v a="$step_after" 'BEGIN {
  printf "| One step of it, from the lines shown against time | %.3f ms | %.3f ms |\n", b, a }'
awk -v b="$off_before" -v a="$off_after" 'BEGIN {
  printf "| Read All offscreen (window_bench, median of 5) | %.3f s (%.3f×) | %.3f s (%.3f×) |\n", b, b / 2.56, a, a / 2.56 }'
echo
echo "Raw results: $out"
