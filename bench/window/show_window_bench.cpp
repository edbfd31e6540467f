// The window's own share of a cold start, in process: building a DiagWindow
// (controls, map load, pages) and showing it until its first paint is done,
// against the same for a minimal window of one label, and on the sample map
// against the same map without its rules. The process, the Qt
// libraries and the fonts are warm here; bench/run_all.sh times the whole
// cold start from outside with bench/minimal_qt/start_probe.
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
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

// A folder holding `map` as tabdefs.csv; invalid when it could not be made.
std::unique_ptr<QTemporaryDir> MapFolder(const std::string& map) {
  auto dir = std::make_unique<QTemporaryDir>();
  QFile file(dir->filePath(QStringLiteral("tabdefs.csv")));
  if (map.empty() || !file.open(QIODevice::WriteOnly) ||
      file.write(map.data(), static_cast<qint64>(map.size())) != static_cast<qint64>(map.size()))
    dir.reset();
  return dir;
}

// The map without its ACCESS, RESET and FIELD lines: the same pages, names
// and bits, and no rules.
std::string WithoutRules(const std::string& map) {
  std::string plain;
  for (std::size_t start = 0; start < map.size();) {
    const std::size_t end = std::min(map.find("\r\n", start), map.size());
    const QString keyword =
        QString::fromStdString(map.substr(start, end - start)).section(',', 0, 0).toUpper();
    if (keyword != "ACCESS" && keyword != "RESET" && keyword != "FIELD")
      plain += map.substr(start, end - start) + "\r\n";
    start = end + 2;
  }
  return plain;
}

// Construction, show() and serving the events that follow until the window
// is painted, as regdiag-sim starts (its chip given the map's rules), in
// milliseconds. The driver start-up that the first activation queues is made
// to fail at once (a failed UsbInit logs and returns), so its 1000 ms search
// for the bridge, which follows the shown window, stays out.
double ShowOnce(const QTemporaryDir& dir) {
  usb::SimUsbLibrary library;
  library.FailNextInit(usb::kStatusIoError);
  const Clock::time_point start = Clock::now();
  auto window = std::make_unique<DiagWindow>(library, std::filesystem::path(dir.path().toStdString()));
  library.FollowRules(usb::ChipRulesOf(window->LoadedMap()));
  window->show();
  ServeEvents();
  const std::chrono::duration<double, std::milli> spent = Clock::now() - start;
  window->close();
  window.reset();
  ServeEvents();
  return spent.count();
}

void BM_ShowDiagWindow(benchmark::State& state) {
  const std::unique_ptr<QTemporaryDir> dir = MapFolder(SampleMap());
  if (!dir) {
    state.SkipWithError("the sample map could not be copied");
    return;
  }
  std::vector<double> millis;
  for (auto _ : state) {
    millis.push_back(ShowOnce(*dir));
    state.SetIterationTime(millis.back() / 1e3);
  }
  state.counters["median_ms"] = Median(millis);
}

// The sample map against itself without ACCESS, RESET and FIELD lines,
// taking turns (which goes first alternates), so that both meet the same
// machine: what the rules add to the window's share of the start-up.
void BM_ShowDiagWindowRulesAgainstPlain(benchmark::State& state) {
  const std::string sample = SampleMap();
  const std::unique_ptr<QTemporaryDir> rules = MapFolder(sample);
  const std::unique_ptr<QTemporaryDir> plain = MapFolder(WithoutRules(sample));
  if (!rules || !plain) {
    state.SkipWithError("the sample map could not be copied");
    return;
  }
  std::vector<double> withRules;
  std::vector<double> without;
  for (auto _ : state) {
    const bool rulesFirst = withRules.size() % 2 == 0;
    if (!rulesFirst) without.push_back(ShowOnce(*plain));
    withRules.push_back(ShowOnce(*rules));
    if (rulesFirst) without.push_back(ShowOnce(*plain));
    state.SetIterationTime((withRules.back() + without.back()) / 1e3);
  }
  state.counters["rules_ms"] = Median(withRules);
  state.counters["plain_ms"] = Median(without);
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
BENCHMARK(BM_ShowDiagWindowRulesAgainstPlain)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowMinimalWindow)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace regdiag::bench
