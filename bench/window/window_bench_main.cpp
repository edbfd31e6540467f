// The window benchmarks: a real DiagWindow, shown under the offscreen
// platform (bench/run_all.sh sets QT_QPA_PLATFORM=offscreen), with its
// driver session started on a plugged simulated bridge and a generated map
// that names all 256 registers. Every benchmark runs on this one window, in
// turn, on the window thread, and empties the log before it starts.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "backends/sim/sim_usb_library.h"
#include "bench_window.h"
#include "window/diag_window.h"

namespace regdiag::bench {

// The register map: 43 pages of six registers, so that every address is
// named. The first 32 pages are shown; the map holds no more pages, and the
// registers past them are named but shown on none, as the map reader does
// for any map.
std::string AllRegistersMap() {
  std::string map = "TITLEBAR,regdiag benchmark\r\nTITLE,All 256 registers\r\n";
  char line[96];
  for (int address = 0; address < kRegisterCount; ++address) {
    if (address % kRowsPerPage == 0) {
      std::snprintf(line, sizeof line, "TABNAME,P%02d\r\n", address / kRowsPerPage);
      map += line;
    }
    std::snprintf(line, sizeof line, "REG,&H%02X,REG_%02X\r\nBITS,B7,B6,B5,B4,B3,B2,B1,B0\r\n", address,
                  address);
    map += line;
  }
  return map;
}

// Serves what the window has queued: notifications, layout, paint.
void ServeEvents() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0.0;
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  return *middle;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0.0;
  const auto at =
      samples.begin() + static_cast<std::ptrdiff_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), at, samples.end());
  return *at;
}

namespace {

class BenchSession {
 public:
  BenchSession() {
    const std::string map = AllRegistersMap();
    QFile file(dir_.filePath(QStringLiteral("tabdefs.csv")));
    if (file.open(QIODevice::WriteOnly)) file.write(map.data(), static_cast<qint64>(map.size()));
    file.close();
    const int bridge = library_.Plug();
    library_.Bridge(bridge).LoadDemoValues();
    window_ = std::make_unique<DiagWindow>(library_, std::filesystem::path(dir_.path().toStdString()));
  }

  ~BenchSession() {
    window_->close();
    window_.reset();
    ServeEvents();
  }

  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;

  // Shows the window and waits for the driver start-up to hold the bridge.
  bool Start() {
    window_->show();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
      ServeEvents();
      if (window_->LogContents().find("interface detected.") != std::string::npos) return true;
      QThread::msleep(5);
    }
    return false;
  }

  DiagWindow& Window() { return *window_; }
  usb::SimUsbLibrary& Library() { return library_; }

 private:
  QTemporaryDir dir_;
  usb::SimUsbLibrary library_;
  std::unique_ptr<DiagWindow> window_;
};

BenchSession* current = nullptr;

}  // namespace

DiagWindow& StartedWindow() { return current->Window(); }
usb::SimUsbLibrary& BenchLibrary() { return current->Library(); }

}  // namespace regdiag::bench

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  regdiag::bench::BenchSession session;
  if (!session.Start()) {
    std::fprintf(stderr, "window_bench: the driver session did not start on the simulated bridge\n");
    return 1;
  }
  regdiag::bench::current = &session;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  regdiag::bench::current = nullptr;
  return 0;
}
