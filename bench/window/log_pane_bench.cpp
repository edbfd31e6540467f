// The log as users have it: DiagWindow::LogLine into the window's log pane
// (a QPlainTextEdit view over the session log). An append must cost the
// entry, not the log, so the last thousand of 100,000 appends should cost
// about what the first thousand do.
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kTypicalLine = "Reading register 0x12 = 0x05 successful";
constexpr std::int64_t kSessionEntries = 100'000;
constexpr std::int64_t kTimedEntries = 1'000;
// A session serves its events between transactions; the log is built the
// same way, its events served after every thousand entries.
constexpr std::int64_t kEntriesBetweenEvents = 1'000;

// Appends the next thousand entries onto a log that already holds range(0)
// entries, built outside the timed region. The timed part ends with the
// events the appends caused served (layout, scrolling to the end, paint).
void BM_WindowLogAppend1000(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  const std::int64_t prior = state.range(0);
  std::vector<double> micros;
  for (auto _ : state) {
    w.cmdClearLog_Click();
    ServeEvents();
    for (std::int64_t i = 1; i <= prior; ++i) {
      w.LogLine(kTypicalLine);
      if (i % kEntriesBetweenEvents == 0) ServeEvents();
    }
    ServeEvents();
    const Clock::time_point start = Clock::now();
    for (std::int64_t i = 0; i < kTimedEntries; ++i) w.LogLine(kTypicalLine);
    ServeEvents();
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    micros.push_back(spent.count() * 1e6);
  }
  state.counters["median_us"] = Median(micros);
  state.counters["log_bytes"] = static_cast<double>(w.LogContents().size());
  w.cmdClearLog_Click();
  ServeEvents();
}

// The first thousand and the last thousand appends of a 100,000-entry
// session. Building the earlier entries is slow, so the iterations are few.
BENCHMARK(BM_WindowLogAppend1000)
    ->ArgName("prior_entries")
    ->Arg(0)
    ->Arg(kSessionEntries - kTimedEntries)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace regdiag::bench
