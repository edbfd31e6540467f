// Cost of appending to the session log early and late in a long session: an
// append must cost the entry, not the log, so both should be alike.
#include <cstdint>
#include <string_view>

#include <benchmark/benchmark.h>

#include "core/text/session_log_text.h"

namespace regdiag {
namespace {

constexpr std::string_view kTypicalLine = "Reading register 0x12 = 0x05 successful";
constexpr std::int64_t kSessionEntries = 100'000;
constexpr std::int64_t kTimedEntries = 1'000;

void FillLog(SessionLogText& log, std::int64_t entries) {
  for (std::int64_t i = 0; i < entries; ++i) log.Append(kTypicalLine, kCrLf);
}

// Appends the next thousand entries onto a log that already holds range(0)
// entries, built the same way a session builds it outside the timed region.
void BM_SessionLogAppend1000(benchmark::State& state) {
  const std::int64_t prior = state.range(0);
  SessionLogText log;
  for (auto _ : state) {
    state.PauseTiming();
    log = SessionLogText{};
    FillLog(log, prior);
    state.ResumeTiming();
    FillLog(log, kTimedEntries);
    benchmark::DoNotOptimize(log.Text().data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kTimedEntries);
  state.counters["log_bytes"] = static_cast<double>(log.Length());
}

// The first thousand and the last thousand appends of a 100,000-entry session.
// Building the earlier entries is slow, so the iterations are capped.
BENCHMARK(BM_SessionLogAppend1000)
    ->ArgName("prior_entries")
    ->Arg(0)
    ->Arg(kSessionEntries - kTimedEntries)
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace regdiag
