#!/usr/bin/env bash
# Runs every regdiag benchmark on a Release build and prints one table: each
# figure beside the limit or the peer it is held against, all measured in
# this one run, under the machine it ran on. Progress goes to stderr, the
# table to stdout; the raw results stay in $BUILD_DIR/bench-results/.
#
#   bench/run_all.sh                 # START_RUNS=15 cold starts of each program,
#                                    # A11Y_RUNS=5 Read Alls with accessibility on
#   START_RUNS=5 bench/run_all.sh    # quicker, noisier
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-bench}"
start_runs="${START_RUNS:-15}"
a11y_runs="${A11Y_RUNS:-5}"
settle_ms=1500 # past regdiag-sim's 1000 ms driver start-up, for the memory
results="$build/bench-results"
say() { echo "run_all: $*" >&2; }

say "installing what is missing (jq reads the benchmark results; a session bus, the accessibility bus"
say "and its Python client time Read All as a screen reader's user meets it)"
scripts/deps.sh jq dbus at-spi2-core python3-gi gir1.2-atspi-2.0 >&2
say "building (Release) in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" --target core_bench window_bench cli_bench quit_bench regdiag-cli regdiag regdiag-sim minimal_qt \
  start_probe >&2
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

say "core benchmarks"
"$build/bench/core_bench" --benchmark_out="$results/core.json" --benchmark_out_format=json >"$results/core.txt" 2>&1
say "window benchmarks (a few minutes)"
timeout 1800 "$build/bench/window_bench" --benchmark_out="$results/window.json" --benchmark_out_format=json \
  >"$results/window.txt" 2>&1

say "command-line benchmarks (about fifteen seconds)"
"$build/bench/cli_bench" --benchmark_out="$results/cli.json" --benchmark_out_format=json >"$results/cli.txt" 2>&1
say "Quit while a transfer hangs"
"$build/bench/quit_bench" --benchmark_out="$results/quit.json" --benchmark_out_format=json >"$results/quit.txt" 2>&1

say "Read All with accessibility on: $a11y_runs runs on an X server, polled over AT-SPI (half a minute)"
bench/a11y/read_all_atspi.sh "$build/src/regdiag-sim" "$a11y_runs" >"$results/read_all_atspi.txt"

say "cold start: $start_runs runs of each program, taking turns, after one warm-up each"
# regdiag (libusb) finds no bridge here: its window shows all the same.
programs=("$build/src/regdiag-sim" "$build/src/regdiag" "$build/bench/minimal_qt")
# The sample map without its ACCESS, RESET and FIELD lines: what the rules cost at start-up.
grep -viE '^(ACCESS|RESET|FIELD),' resources/tabdefs.csv >"$results/tabdefs-plain.csv"
probe() { "$build/bench/start_probe" "$settle_ms" "$@"; }
for program in "${programs[@]}"; do
  : >"$results/start_$(basename "$program").txt"
  probe "$program" >/dev/null
done
: >"$results/start_regdiag-sim-plain.txt"
probe "$build/src/regdiag-sim" --map "$results/tabdefs-plain.csv" >/dev/null
for ((i = 0; i < start_runs; i++)); do
  for program in "${programs[@]}"; do probe "$program" >>"$results/start_$(basename "$program").txt"; done
  probe "$build/src/regdiag-sim" --map "$results/tabdefs-plain.csv" >>"$results/start_regdiag-sim-plain.txt"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- Reading the results ------------------------------------------------
# field NAME_REGEX KEY FILE: KEY of the first benchmark whose name matches.
field() {
  jq -r --arg re "$1" --arg key "$2" \
    '[.benchmarks[] | select(.name | test($re)) | .[$key]] | first // empty' "$3"
}
core() { field "$1" "$2" "$results/core.json"; }
win() { field "$1" "$2" "$results/window.json"; }
cli() { field "$1" "$2" "$results/cli.json"; }
quit() { field "$1" "$2" "$results/quit.json"; }
# values KEY FILE: the values of KEY=value over the probe's lines, sorted.
values() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" "$2" | sort -g; }
median() {
  values "$1" "$2" |
    awk '{v[NR] = $1} END {if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
best() { values "$1" "$2" | head -1; }

read_us=$(win '^BM_ReadClick/' median_us)
cli_read_ms=$(cli '^BM_CliReadProcess/' median_ms)
cli_dump_s=$(cli '^BM_CliDump256/' median_s)
import_ms=$(cli '^BM_CliImportSvd/' median_ms)
import_kb=$(cli '^BM_CliImportSvd/' svd_kB)
engine_read_us=$(cli '^BM_EngineRead/' median_us)
watch_in_us=$(cli '^BM_EngineReadWatch/inside:1/' median_us)
watch_out_us=$(cli '^BM_EngineReadWatch/inside:0/' median_us)
quit_ms=$(quit '^BM_QuitDuringHungTransfer' real_time)
write_us=$(win '^BM_WriteClick/' median_us)
read_paint_us=$(win '^BM_ReadClickPainted/' median_us)
read_all_s=$(win '^BM_ReadAllRegisters/' median_s)
pause10_ms=$(win '^BM_Pause10/' median_ms)
step_ms=$(win '^BM_LogLineThenPause10/' median_ms)
pause_cpu=$(win '^BM_PauseCpu/' cpu_ms_per_s)
pause1000_ms=$(win '^BM_PauseCpu/' pause_ms)
log_core_first=$(core '^BM_SessionLogAppend1000/prior_entries:0/' real_time)
log_core_last=$(core '^BM_SessionLogAppend1000/prior_entries:99000/' real_time)
log_win_first=$(win '^BM_WindowLogAppend1000/prior_entries:0/' median_us)
log_win_last=$(win '^BM_WindowLogAppend1000/prior_entries:99000/' median_us)
map_time=$(core '^BM_ParseFullMap' real_time)
map_unit=$(core '^BM_ParseFullMap' time_unit)
show_diag_ms=$(win '^BM_ShowDiagWindow/' median_ms)
show_min_ms=$(win '^BM_ShowMinimalWindow/' median_ms)
show_rules_ms=$(win '^BM_ShowDiagWindowRulesAgainstPlain/' rules_ms)
show_plain_ms=$(win '^BM_ShowDiagWindowRulesAgainstPlain/' plain_ms)
plain_ms=$(median shown_ms "$results/start_regdiag-sim-plain.txt")
plain_best=$(best shown_ms "$results/start_regdiag-sim-plain.txt")
refused_small_ms=$(win '^BM_LoadRefusedSnapshot/bad_lines:10000/' median_ms)
refused_ms=$(win '^BM_LoadRefusedSnapshot/bad_lines:100000/' median_ms)
refused_box_px=$(win '^BM_LoadRefusedSnapshot/bad_lines:100000/' box_height_px)
sim_ms=$(median shown_ms "$results/start_regdiag-sim.txt")
min_ms=$(median shown_ms "$results/start_minimal_qt.txt")
sim_best=$(best shown_ms "$results/start_regdiag-sim.txt")
min_best=$(best shown_ms "$results/start_minimal_qt.txt")
sim_kib=$(median settled_rss_kib "$results/start_regdiag-sim.txt")
min_kib=$(median settled_rss_kib "$results/start_minimal_qt.txt")
sim_anon=$(median settled_anon_kib "$results/start_regdiag-sim.txt")
rd_ms=$(median shown_ms "$results/start_regdiag.txt")
rd_best=$(best shown_ms "$results/start_regdiag.txt")
rd_kib=$(median settled_rss_kib "$results/start_regdiag.txt")
rd_anon=$(median settled_anon_kib "$results/start_regdiag.txt")
a11y_s=$(median shown_s "$results/read_all_atspi.txt")
a11y_step=$(median step_ms "$results/read_all_atspi.txt")
min_anon=$(median settled_anon_kib "$results/start_minimal_qt.txt")

# --- The machine ----------------------------------------------------------
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
  "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo) memory;" \
  "$(sed -n 's/^PRETTY_NAME="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' /etc/os-release), kernel $(uname -r)"
echo "Build: Release, $("${compiler:-c++}" --version | head -1), Qt $(pkg-config --modversion Qt6Core)," \
  "Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || echo '?')"
echo "Load average (1, 5, 15 min): $load_before before, $load_after after; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo

# --- The table -------------------------------------------------------------
awk -v read_us="$read_us" -v write_us="$write_us" -v read_paint_us="$read_paint_us" \
  -v read_all_s="$read_all_s" -v pause10_ms="$pause10_ms" -v step_ms="$step_ms" -v pause_cpu="$pause_cpu" \
  -v pause1000_ms="$pause1000_ms" \
  -v lcf="$log_core_first" -v lcl="$log_core_last" -v lwf="$log_win_first" -v lwl="$log_win_last" \
  -v map_time="$map_time" -v map_unit="$map_unit" -v show_diag="$show_diag_ms" -v show_min="$show_min_ms" \
  -v sim_ms="$sim_ms" -v min_ms="$min_ms" -v sim_best="$sim_best" -v min_best="$min_best" \
  -v sim_kib="$sim_kib" -v min_kib="$min_kib" -v sim_anon="$sim_anon" -v min_anon="$min_anon" \
  -v rd_ms="$rd_ms" -v rd_best="$rd_best" -v rd_kib="$rd_kib" -v rd_anon="$rd_anon" \
  -v a11y_s="$a11y_s" -v a11y_step="$a11y_step" -v a11y_runs="$a11y_runs" \
  -v plain_ms="$plain_ms" -v plain_best="$plain_best" -v show_rules="$show_rules_ms" -v show_plain="$show_plain_ms" \
  -v import_ms="$import_ms" -v import_kb="$import_kb" \
  -v cli_read_ms="$cli_read_ms" -v cli_dump_s="$cli_dump_s" -v engine_read_us="$engine_read_us" \
  -v quit_ms="$quit_ms" -v refused_small_ms="$refused_small_ms" -v refused_ms="$refused_ms" \
  -v refused_box_px="$refused_box_px" \
  -v watch_in_us="$watch_in_us" -v watch_out_us="$watch_out_us" \
  -v runs="$start_runs" '
function verdict(ok) { return ok ? "met" : "**not met**" }
function row(what, figure, against, ratio, goal) {
  printf "| %s | %s | %s | %s | %s |\n", what, figure, against, ratio, goal
}
BEGIN {
  print "| measure | figure | held against | ratio | goal |"
  print "|---|---|---|---|---|"
  row("Read one register, click to log line (median; each read flips all 8 bits)",
      sprintf("%.1f µs", read_us), "limit 25 µs", sprintf("%.2f×", read_us / 25),
      "≤ 25 µs: " verdict(read_us <= 25))
  row("Write one register, click to log line (median)",
      sprintf("%.1f µs", write_us), "limit 25 µs", sprintf("%.2f×", write_us / 25),
      "≤ 25 µs: " verdict(write_us <= 25))
  row("Read one register through the engine, no window (median; sim bridge, console waiter)",
      sprintf("%.1f µs", engine_read_us), sprintf("window Read click: %.1f µs", read_us),
      sprintf("%.2f×", engine_read_us / read_us), "≤ the window: " verdict(engine_read_us <= read_us))
  row("Read one register in the 2 s watch after a time-out (median of 400; sim bridge, empty reads wait as on a desk)",
      sprintf("%.2f ms", watch_in_us / 1000), sprintf("outside the watch: %.2f µs", watch_out_us),
      sprintf("+%.2f ms", (watch_in_us - watch_out_us) / 1000), "(information)")
  row("regdiag-cli --sim read 0x00, process start to exit (median of 50)",
      sprintf("%.1f ms", cli_read_ms), "limit 30 ms", sprintf("%.2f×", cli_read_ms / 30),
      "≤ 30 ms: " verdict(cli_read_ms <= 30))
  row(sprintf("regdiag-cli import of a %.0f kB SVD, 80 registers with enumerations, to -o FILE, start to exit (median of 20)", import_kb),
      sprintf("%.1f ms", import_ms), "limit 50 ms", sprintf("%.2f×", import_ms / 50),
      "≤ 50 ms: " verdict(import_ms <= 50))
  row("Quit while a transfer hangs, click to the session ended (mean of 5; simulated bridge)",
      sprintf("%.2f ms", quit_ms), "limit 100 ms (the time-out it replaces: 30 s)", sprintf("%.3f×", quit_ms / 100),
      "≤ 100 ms: " verdict(quit_ms <= 100))
  row("regdiag-cli --sim dump, 256 named registers, start to exit (median of 5)",
      sprintf("%.3f s", cli_dump_s), "floor: 256 pauses of 10 ms = 2.560 s", sprintf("%.3f×", cli_dump_s / 2.56),
      "≤ 1.03× (2.637 s): " verdict(cli_dump_s <= 2.56 * 1.03))
  row("Read one register with the repaint it causes (median, offscreen)",
      sprintf("%.0f µs", read_paint_us), "one 60 Hz frame, 16,667 µs", sprintf("%.3f×", read_paint_us / 16667),
      "(information)")
  row("Read All, 256 named registers (wall, median of 5)",
      sprintf("%.3f s", read_all_s), "floor: 256 pauses of 10 ms = 2.560 s", sprintf("%.3f×", read_all_s / 2.56),
      "≤ 1.03× (2.637 s): " verdict(read_all_s <= 2.56 * 1.03))
  row("One Pause(10) on an idle window (wall, median of 200)",
      sprintf("%.3f ms", pause10_ms), "10 ms asked", sprintf("%.3f×", pause10_ms / 10), "(information)")
  row("Read All with accessibility on: Xvfb, xcb, an AT-SPI client asking the log pane for its character count every 10 ms; first to last change of the count (median of " a11y_runs ")",
      sprintf("%.3f s", a11y_s), "floor: 256 pauses of 10 ms = 2.560 s", sprintf("%.3f×", a11y_s / 2.56),
      "≤ 1.05× (2.688 s): " verdict(a11y_s <= 2.56 * 1.05))
  row("One step of that Read All, from the lines shown against time (median of " a11y_runs ")",
      sprintf("%.3f ms", a11y_step), sprintf("offscreen, the whole Read All: %.3f ms a step", read_all_s * 1000 / 256),
      sprintf("%+.3f ms", a11y_step - read_all_s * 1000 / 256), "(information)")
  row("A Read All step without its transfer: LogLine, then Pause(10) (median of 256)",
      sprintf("%.3f ms", step_ms), sprintf("Pause(10) alone: %.3f ms", pause10_ms),
      sprintf("+%.3f ms", step_ms - pause10_ms), "(information)")
  row("Session log (core), last 1,000 of 100,000 appends",
      sprintf("%.1f µs", lcl), sprintf("first 1,000: %.1f µs", lcf), sprintf("%.2f×", lcl / lcf),
      "≤ 2×: " verdict(lcl <= 2 * lcf))
  row("Log pane (window LogLine), last 1,000 of 100,000 appends, events served",
      sprintf("%.1f ms", lwl / 1000), sprintf("first 1,000: %.1f ms", lwf / 1000), sprintf("%.2f×", lwl / lwf),
      "≤ 2×: " verdict(lwl <= 2 * lwf))
  row("Load a snapshot refused on each of 100,000 lines, to its message box closed (median of 5; box " \
      sprintf("%d px tall)", refused_box_px),
      sprintf("%.1f ms", refused_ms), sprintf("10,000 lines: %.1f ms", refused_small_ms),
      sprintf("%.2f×", refused_ms / refused_small_ms), "≤ 20× (linear): " verdict(refused_ms <= 20 * refused_small_ms))
  if (map_time == "") {
    row("Parse a map of 32 pages and 192 registers", "not measured: core_bench has no BM_ParseFullMap",
        "regdiag-sim cold start", "–", "(information)")
  } else {
    map_us = map_time / (map_unit == "ns" ? 1000 : map_unit == "ms" ? 0.001 : 1)
    row("Parse a map of 32 pages and 192 registers (BM_ParseFullMap)", sprintf("%.1f µs", map_us),
        sprintf("regdiag-sim cold start: %.1f ms", sim_ms), sprintf("%.2f%%", map_us / 10 / sim_ms),
        "(information)")
  }
  row("Cold start to the window shown, regdiag-sim (median of " runs "; best)",
      sprintf("%.1f ms (%.1f)", sim_ms, sim_best), sprintf("minimal Qt program: %.1f ms (%.1f)", min_ms, min_best),
      sprintf("%.2f×", sim_ms / min_ms), "≤ 1.3×: " verdict(sim_ms <= 1.3 * min_ms))
  row("Cold start to the window shown, regdiag (median of " runs "; best; no bridge)",
      sprintf("%.1f ms (%.1f)", rd_ms, rd_best), sprintf("minimal Qt program: %.1f ms (%.1f)", min_ms, min_best),
      sprintf("%.2f×", rd_ms / min_ms), "≤ 1.3×: " verdict(rd_ms <= 1.3 * min_ms))
  row("Cold start, regdiag-sim on the sample map, against the same map without ACCESS, RESET and FIELD lines (median of " runs "; best)",
      sprintf("%.1f ms (%.1f)", sim_ms, sim_best), sprintf("without them: %.1f ms (%.1f)", plain_ms, plain_best),
      sprintf("%.3f×", sim_ms / plain_ms), "≤ 1.05×: " verdict(sim_ms <= 1.05 * plain_ms))
  row("The same, the window built and shown in a warm process (median of 40, taking turns)",
      sprintf("%.2f ms", show_rules), sprintf("without them: %.2f ms", show_plain), sprintf("%.3f×", show_rules / show_plain),
      "(information)")
  row("Build and show the window in a warm process (median of 30)",
      sprintf("%.2f ms", show_diag), sprintf("minimal window: %.2f ms", show_min), sprintf("%.0f×", show_diag / show_min),
      "(information)")
  row("Resident memory 1.5 s after shown (median; private anonymous part), regdiag-sim",
      sprintf("%.1f MiB (%.1f)", sim_kib / 1024, sim_anon / 1024),
      sprintf("minimal Qt program: %.1f MiB (%.1f)", min_kib / 1024, min_anon / 1024),
      sprintf("%.2f×", sim_kib / min_kib), "≤ 1.2×: " verdict(sim_kib <= 1.2 * min_kib))
  row("Resident memory 1.5 s after shown (median; private anonymous part), regdiag",
      sprintf("%.1f MiB (%.1f)", rd_kib / 1024, rd_anon / 1024),
      sprintf("minimal Qt program: %.1f MiB (%.1f)", min_kib / 1024, min_anon / 1024),
      sprintf("%.2f×", rd_kib / min_kib), "≤ 1.2×: " verdict(rd_kib <= 1.2 * min_kib))
  row("CPU used while Pause(1000) waits (user + system, whole process)",
      sprintf("%.3f ms per s", pause_cpu), "next to none: 1 ms per s (0.1% of a core)",
      sprintf("%.3f×", pause_cpu), "≤ 1 ms/s: " verdict(pause_cpu <= 1))
  row("One Pause(1000) on an idle window (wall, mean of 3)",
      sprintf("%.1f ms", pause1000_ms), "1000 ms asked", sprintf("%.3f×", pause1000_ms / 1000), "(information)")
}'
