// Quit while a transfer hangs: from the click on Quit to the moment the
// click handler that started the transfer has returned, the window unloaded
// and the library session ended. Without the cancel, the wait would last the
// transfer's 30 s time-out. Each iteration is a fresh window on a fresh
// simulated bridge whose next transfer hangs; its 1 s start-up is not timed.
#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <benchmark/benchmark.h>

#include "backends/sim/sim_usb_library.h"
#include "window/diag_window.h"
#include "window/widgets/wrap_button.h"

namespace regdiag::bench {

namespace {

using Clock = std::chrono::steady_clock;

// A click as the mouse gives it, through the application's event filters.
void Click(QWidget* button) {
  const QPointF at(button->rect().center());
  QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(button, &press);
  QApplication::sendEvent(button, &release);
}

void BM_QuitDuringHungTransfer(benchmark::State& state) {
  for (auto _ : state) {
    QTemporaryDir dir;
    std::ofstream(std::filesystem::path(dir.path().toStdString()) / "tabdefs.csv")
        << "TABNAME,Page\r\nREG,0,R0\r\n";
    usb::SimUsbLibrary library;
    library.Plug();
    DiagWindow window(library, std::filesystem::path(dir.path().toStdString()));
    window.show();
    while (window.LogContents().find("interface detected.") == std::string::npos) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    library.HangNextTransfer();
    Clock::time_point clicked;
    QTimer::singleShot(20, &window, [&] {
      clicked = Clock::now();
      Click(window.findChild<QPushButton*>(QStringLiteral("cbQuit")));
    });
    window.cbRead_Click(0);
    const double seconds = std::chrono::duration<double>(Clock::now() - clicked).count();
    if (!window.Unloaded() || library.SessionOpen()) {
      state.SkipWithError("Quit did not end the session");
      return;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_QuitDuringHungTransfer)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace regdiag::bench

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
