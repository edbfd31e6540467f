// The window's own share of a cold start, in process: building a DiagWindow
// (controls, map load, pages) and showing it until its first paint is done,
// against the same for a minimal window of one label. The process, the Qt
// libraries and the fonts are warm here; bench/run_all.sh times the whole
// cold start from outside with bench/minimal_qt/start_probe.
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/link/device_context.h"
#include "backends/sim/sim_usb_library.h"
#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;

// The sample map that regdiag-sim reads at start-up.
std::string SampleMap() {
  QFile file(QStringLiteral(REGDIAG_SAMPLE_MAP));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// Timed: construction, show() and serving the events that follow until the
// window is painted. The driver start-up that the first activation queues
// is made to fail at once (a failed UsbInit logs and returns), so its
// 1000 ms search for the bridge, which follows the shown window, stays out.
void BM_ShowDiagWindow(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string map = SampleMap();
  QFile file(dir.filePath(QStringLiteral("tabdefs.csv")));
  if (map.empty() || !file.open(QIODevice::WriteOnly)) {
    state.SkipWithError("the sample map could not be copied");
    return;
  }
  file.write(map.data(), static_cast<qint64>(map.size()));
  file.close();
  std::vector<double> millis;
  for (auto _ : state) {
    usb::SimUsbLibrary library;
    library.FailNextInit(usb::kStatusIoError);
    const Clock::time_point start = Clock::now();
    auto window = std::make_unique<DiagWindow>(library, std::filesystem::path(dir.path().toStdString()));
    window->show();
    ServeEvents();
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    millis.push_back(spent.count() * 1e3);
    window->close();
    window.reset();
    ServeEvents();
  }
  state.counters["median_ms"] = Median(millis);
}

// The peer: the window of bench/minimal_qt, built and shown the same way.
void BM_ShowMinimalWindow(benchmark::State& state) {
  std::vector<double> millis;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    auto window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QLabel(QStringLiteral("A minimal Qt Widgets window"), window.get()));
    window->show();
    ServeEvents();
    const std::chrono::duration<double> spent = Clock::now() - start;
    state.SetIterationTime(spent.count());
    millis.push_back(spent.count() * 1e3);
    window->close();
    window.reset();
    ServeEvents();
  }
  state.counters["median_ms"] = Median(millis);
}

BENCHMARK(BM_ShowDiagWindow)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowMinimalWindow)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace regdiag::bench
