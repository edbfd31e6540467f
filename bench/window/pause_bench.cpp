// What a pause costs the machine while it waits: the CPU time the process
// uses (user and system, all threads) during DiagWindow::Pause(1000) on an
// idle window with a started session. Waiting must not mean spinning.
#include <sys/resource.h>

#include <chrono>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_PauseCpu(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  w.cmdClearLog_Click();
  ServeEvents();
  double cpu = 0.0;
  double wall = 0.0;
  for (auto _ : state) {
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    const bool served = w.Pause(1000);
    const std::chrono::duration<double> spent = Clock::now() - start;
    const double cpuSpent = CpuSeconds() - cpuBefore;
    state.SetIterationTime(spent.count());
    if (!served) {
      state.SkipWithError("the window was unloaded during the pause");
      break;
    }
    cpu += cpuSpent;
    wall += spent.count();
  }
  state.counters["cpu_ms_per_s"] = wall > 0.0 ? cpu * 1e3 / wall : 0.0;
  state.counters["pause_ms"] = wall * 1e3 / static_cast<double>(state.iterations());
}

BENCHMARK(BM_PauseCpu)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Wall time of one Pause(10) on an idle window: the part of every step of
// Read All that is waiting, and how late its timer ends it.
// Times `before` followed by Pause(10), once per iteration; the median in ms
// goes to the counters.
template <typename Before>
void TimePause10(benchmark::State& state, DiagWindow& w, Before before) {
  std::vector<double> millis;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    before();
    const bool served = w.Pause(10);
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    if (!served) {
      state.SkipWithError("the window was unloaded during the pause");
      break;
    }
    millis.push_back(spent.count() * 1e3);
  }
  state.counters["median_ms"] = Median(millis);
}

void BM_Pause10(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  ServeEvents();
  TimePause10(state, w, [] {});
}

BENCHMARK(BM_Pause10)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

// One step of Read All without its transfer: a log line, then Pause(10),
// which serves the repaint the line caused. Against BM_Pause10 it tells how
// much of a step the log pane takes.
void BM_LogLineThenPause10(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  w.cmdClearLog_Click();
  ServeEvents();
  TimePause10(state, w, [&w] { w.LogLine("Reading register 0x12 = 0x05 successful"); });
  w.cmdClearLog_Click();
  ServeEvents();
}

BENCHMARK(BM_LogLineThenPause10)->Iterations(256)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace regdiag::bench
