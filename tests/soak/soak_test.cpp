// The soak test: the real window on the simulated bridge for many cycles of
// plugging, unplugging, injected faults, transactions and edits. ctest runs a
// short soak; scripts/soak.sh runs a long one.
//
// REGDIAG_SOAK_CYCLES sets the number of cycles (150 when unset) and
// REGDIAG_SOAK_SEED the seed (a fresh one when unset; it is printed, so a
// failing run can be repeated).
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include "soak_run.h"

namespace {

constexpr int kDefaultCycles = 150;
// No cycle comes near this; a run that stops moving for so long is stuck.
constexpr auto kHangLimit = std::chrono::seconds(120);

long EnvironmentNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return *end == '\0' ? value : fallback;
}

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns about size hints for every message box it
// shows; hundreds of those would bury whatever else the run prints.
void DropSizeHintNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  previousHandler(type, context, message);
}

// Aborts the process, naming the seed and the cycle, when the run stops
// making progress: a hang must not pass as a slow run.
class HangWatchdog {
 public:
  explicit HangWatchdog(const regdiag::soak::SoakRun& run) : thread_([this, &run] { Watch(run); }) {}
  ~HangWatchdog() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Watch(const regdiag::soak::SoakRun& run) {
    std::unique_lock lock(mutex_);
    std::uint64_t last = run.Progress();
    auto since = std::chrono::steady_clock::now();
    while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return done_; })) {
      const std::uint64_t now = run.Progress();
      if (now != last) {
        last = now;
        since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - since > kHangLimit) {
        std::fprintf(stderr, "soak: no progress for %lld s in cycle %d during \"%s\"; hung\n",
                     static_cast<long long>(kHangLimit.count()), run.Cycle(), run.CurrentAction());
        std::abort();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace

class SoakTest : public QObject {
  Q_OBJECT

 private slots:
  void cyclesOfPluggingFaultsAndEditsLeaveAConsistentWindowAndLog();
};

void SoakTest::cyclesOfPluggingFaultsAndEditsLeaveAConsistentWindowAndLog() {
  const long cycles = EnvironmentNumber("REGDIAG_SOAK_CYCLES", kDefaultCycles);
  const auto seed =
      static_cast<std::uint32_t>(EnvironmentNumber("REGDIAG_SOAK_SEED", std::random_device{}()));
  std::printf("soak: %ld cycles, seed %u (REGDIAG_SOAK_SEED=%u repeats it)\n", cycles, seed, seed);
  std::fflush(stdout);

  previousHandler = qInstallMessageHandler(DropSizeHintNotices);
  regdiag::soak::SoakRun run(seed);
  const HangWatchdog watchdog(run);
  QVERIFY2(run.Start(), "the driver start-up did not finish");
  for (int cycle = 0; cycle < cycles && run.Problems().empty(); ++cycle) run.RunCycle(cycle);
  if (run.Problems().empty()) run.Finish();

  std::printf("soak: %s\n", run.Summary().c_str());
  qInstallMessageHandler(previousHandler);
  QString report;
  for (const std::string& problem : run.Problems()) report += QString::fromStdString(problem) + '\n';
  QVERIFY2(run.Problems().empty(), qPrintable(QStringLiteral("seed %1:\n%2").arg(seed).arg(report)));
}

QTEST_MAIN(SoakTest)
#include "soak_test.moc"
