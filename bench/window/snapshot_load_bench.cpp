// Loading a register snapshot that is refused for every one of its lines:
// DiagWindow::LoadRegisterValues reads the file, checks each line and shows
// one message box, closed as soon as it shows. The box lists 20 problems and
// how many more there are, so the time should follow the file's length, not
// its problems' count squared, and the box stays the size of 20 lines.
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;

void BM_LoadRefusedSnapshot(benchmark::State& state) {
  DiagWindow& w = StartedWindow();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("refused.csv"));
  {
    std::ofstream file(path.toStdString(), std::ios::binary);
    file << "address,name,value\n";
    for (std::int64_t line = 0; line < state.range(0); ++line) file << "0x01,SYS_CTRL,0x1FF\n";
  }
  int boxHeight = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&boxHeight] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxHeight = box->height();
      box->accept();
    }
  });
  closer.start(1);
  std::vector<double> millis;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const bool loaded = w.LoadRegisterValues(path);
    const std::chrono::duration<double> spent = Clock::now() - start;
    if (loaded) state.SkipWithError("the snapshot was not refused");
    state.SetIterationTime(spent.count());
    millis.push_back(spent.count() * 1e3);
  }
  state.counters["median_ms"] = Median(millis);
  state.counters["box_height_px"] = boxHeight;
  ServeEvents();
}

BENCHMARK(BM_LoadRefusedSnapshot)
    ->ArgName("bad_lines")
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace regdiag::bench
