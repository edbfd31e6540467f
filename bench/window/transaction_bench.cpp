// Register transactions on the real window and the simulated bridge, so the
// figures are the program's own cost, not the bus's: one Read or Write from
// the click handler to its log line, and Read All Registers over a map that
// names all 256 registers, against the 256 pauses of 10 ms it must wait.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <QTabBar>

#include <benchmark/benchmark.h>

#include "core/link/device_context.h"
#include "backends/sim/sim_usb_library.h"
#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;
using Click = void (DiagWindow::*)(std::int16_t);

// The log is emptied after every batch of clicks, as a user's Clear Log
// would, so the figures stay those of a log of typical length.
constexpr std::size_t kClicksPerBatch = 1000;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t found = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++found;
  return found;
}

// Without a held bridge a transaction opens a modal message box, which
// would wait for a click that never comes.
bool BridgeHeld(benchmark::State& state, DiagWindow& w) {
  if (w.Engine().Session().Connected()) return true;
  state.SkipWithError("no bridge is held");
  return false;
}

// True when every transaction logged since the log was emptied succeeded.
bool AllSucceeded(const DiagWindow& w, std::size_t transactions) {
  const std::string& log = w.LogContents();
  return Count(log, "successful") == transactions && Count(log, "failed") == 0;
}

// One click on row 0 (register 0x00) per iteration, timed alone. Before
// each click the chip's register flips between 0x55 and 0xAA, so every read
// changes the row's text, spinner and all eight bits, as a changed value
// does. With paint, the events the click causes (repaint of the row and of
// the log pane) are served and timed with it.
void ClickBench(benchmark::State& state, Click click, bool paint) {
  DiagWindow& w = StartedWindow();
  if (!BridgeHeld(state, w)) return;
  usb::VirtualBridge& chip = BenchLibrary().Bridge();
  w.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(0);
  w.cmdClearLog_Click();
  ServeEvents();
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  std::size_t inBatch = 0;
  bool flip = false;
  for (auto _ : state) {
    chip.SetRegister(0x00, (flip = !flip) ? 0x55 : 0xAA);
    const Clock::time_point start = Clock::now();
    (w.*click)(0);
    if (paint) ServeEvents();
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    micros.push_back(spent.count() * 1e6);
    if (++inBatch == kClicksPerBatch) {
      if (!AllSucceeded(w, inBatch)) {
        state.SkipWithError("a transaction did not succeed");
        break;
      }
      w.cmdClearLog_Click();
      ServeEvents();
      inBatch = 0;
    }
  }
  state.counters["median_us"] = Median(micros);
  state.counters["p90_us"] = Percentile(micros, 0.9);
}

void BM_ReadClick(benchmark::State& state) { ClickBench(state, &DiagWindow::cbRead_Click, false); }
void BM_WriteClick(benchmark::State& state) { ClickBench(state, &DiagWindow::cbWrite_Click, false); }
void BM_ReadClickPainted(benchmark::State& state) { ClickBench(state, &DiagWindow::cbRead_Click, true); }

BENCHMARK(BM_ReadClick)->Iterations(20'000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteClick)->Iterations(20'000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadClickPainted)->Iterations(2'000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Wall time of the Read All Registers handler, from its click to its return.
void BM_ReadAllRegisters(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  if (!BridgeHeld(state, w)) return;
  std::vector<double> seconds;
  for (auto _ : state) {
    w.cmdClearLog_Click();
    ServeEvents();
    const Clock::time_point start = Clock::now();
    w.cbReadAllRegs_Click();
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    seconds.push_back(spent.count());
    if (!AllSucceeded(w, kRegisterCount)) {
      state.SkipWithError("Read All did not read all 256 registers");
      break;
    }
  }
  state.counters["median_s"] = Median(seconds);
  state.counters["registers"] = kRegisterCount;
}

BENCHMARK(BM_ReadAllRegisters)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace regdiag::bench
