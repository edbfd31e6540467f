#include "soak_run.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "editing/core/hex_value.h"
#include "link/device_context.h"
#include "window/hex_entry_box.h"
#include "window/scoped_flag.h"
#include "window/wrap_button.h"

namespace regdiag::soak {

namespace {

// Faults go into about three exchanges in ten.
constexpr double kFaultRate = 0.3;
// Stop collecting after this many problems: the first ones tell the story.
constexpr std::size_t kMaxProblems = 20;
constexpr const char* kNotConnected = "USB Device not connected!";

}  // namespace

SoakRun::SoakRun(std::uint32_t seed) : rng_(seed), seed_(seed) {
  test::HarnessOptions options;
  options.plugBridge = false;  // plugged below, with contents of its own
  harness_ = std::make_unique<test::WindowHarness>(options);
}

SoakRun::~SoakRun() {
  monitor_.reset();
  harness_.reset();
}

bool SoakRun::Start() {
  PlugBridge(false);
  if (!harness_->ShowAndStart()) return false;
  monitor_ = std::make_unique<ExchangeMonitor>(W(), Lib(), rng_, kFaultRate);
  monitor_->Start();
  CheckQuiet();
  return true;
}

void SoakRun::Begin(const char* action) {
  action_ = action;
  if (!inTimer_) userAction_ = action;
  ++progress_;
  ++actions_;
}

void SoakRun::Problem(const std::string& text) {
  if (problems_.size() >= kMaxProblems) return;
  problems_.push_back("cycle " + std::to_string(cycle_.load()) + ", " + userAction_ +
                      (inTimer_ ? std::string(" (timer: ") + action_.load() + ")" : std::string()) + ": " +
                      text);
}

std::string SoakRun::Summary() const {
  return "seed " + std::to_string(seed_) + ": " + std::to_string(cycle_.load() + 1) + " cycles, " +
         std::to_string(actions_) + " actions, " + std::to_string(monitor_ ? monitor_->ExchangesSeen() : 0) +
         " exchanges, " + std::to_string(monitor_ ? monitor_->FaultsInjected() : 0) + " faults injected, " +
         std::to_string(plugs_) + " plugs, " + std::to_string(unplugs_) + " unplugs, " +
         std::to_string(audit_.LinesSeen()) + " log lines checked (" + std::to_string(successLines_) +
         " successful transactions, " + std::to_string(failureLines_) + " failed), " +
         std::to_string(messagesSeen_) + " message boxes";
}

// --- Cycles -------------------------------------------------------------------

void SoakRun::RunCycle(int cycle) {
  cycle_ = cycle;
  // Mostly a bridge to talk to, never a crowd. A bridge that was refused
  // while another was held stays refused, so it is pulled out first.
  if (!Lib().HeldBridge() && Chance(0.85)) {
    while (Lib().PluggedBridges().size() > 1) UnplugAny();
    if (!Lib().PluggedBridges().empty() && Chance(0.5)) UnplugAny();
    const bool alone = Lib().PluggedBridges().empty();
    const int id = PlugBridge();
    // Mostly the window gets to see it arrive before the next click; alone
    // on the bench, with the right IDs, it must then be held.
    if (Chance(0.8)) {
      test::WindowHarness::ProcessEvents();
      const std::vector<int> plugged = Lib().PluggedBridges();
      const bool stillIn = std::find(plugged.begin(), plugged.end(), id) != plugged.end();
      // (A timer left over from the last cycle may have pulled it out again.)
      if (alone && id > 0 && stillIn && (Lib().HeldBridge() != id || !DeviceConnected)) {
        Problem("a bridge plugged into an empty bench was not taken");
      }
    }
  }
  while (Lib().PluggedBridges().size() > 2) UnplugAny();

  const int events = Uniform(0, 3);
  for (int i = 0; i < events; ++i) ScheduleRandomEvent();
  const int actions = Uniform(2, 8);
  for (int i = 0; i < actions && problems_.empty(); ++i) {
    DoAction();
    CheckQuiet();
  }
  Begin("settle");
  QTest::qWait(Uniform(0, 30));
  CheckQuiet();
}

void SoakRun::DoAction() {
  enum Action {
    ReadAll,
    WriteAll,
    ReadGroup,
    WriteGroup,
    Read,
    Write,
    Tab,
    Type,
    Paste,
    Spin,
    Bit,
    Plug,
    Unplug,
    Wait,
    Clear
  };
  std::discrete_distribution<int> pick({4, 3, 2, 2, 4, 3, 2, 3, 1, 1, 1, 0.5, 0.5, 1, 0.2});
  switch (pick(rng_)) {
    case ReadAll:
      Begin("Read All");
      QTest::mouseClick(W().cbReadAllRegs, Qt::LeftButton);
      break;
    case WriteAll:
      Begin("Write All");
      QTest::mouseClick(W().cbWriteAllRegs, Qt::LeftButton);
      break;
    case ReadGroup:
      Begin("read group");
      QTest::mouseClick(W().cbReadRegs, Qt::LeftButton);
      break;
    case WriteGroup:
      Begin("write group");
      QTest::mouseClick(W().cbWriteRegs, Qt::LeftButton);
      break;
    case Read:
      SingleTransfer(true);
      break;
    case Write:
      SingleTransfer(false);
      break;
    case Tab:
      SwitchTab();
      break;
    case Type:
      TypeIntoRow();
      break;
    case Paste:
      PasteIntoRow();
      break;
    case Spin:
      StepSpinner();
      break;
    case Bit:
      ClickBit();
      break;
    case Plug:
      PlugBridge();
      break;
    case Unplug:
      UnplugHeld();
      break;
    case Wait:
      Begin("wait");
      QTest::qWait(Uniform(0, 40));
      break;
    case Clear:
      ClearLog();
      break;
  }
}

void SoakRun::ScheduleRandomEvent() {
  const int kind = Uniform(0, 6);
  ++pendingTimers_;
  QTimer::singleShot(Uniform(0, 250), &W(), [this, kind] {
    --pendingTimers_;
    if (W().Unloaded()) return;
    const ScopedFlag nested(inTimer_);
    switch (kind) {
      case 0:
        PlugBridge();
        break;
      case 1:
        UnplugHeld();
        break;
      case 2:
        UnplugAny();
        break;
      case 3:
        SwitchTab();
        break;
      case 4:
        TypeIntoRow();
        break;
      case 5:
        StepSpinner();
        break;
      case 6:
        ClickBit();
        break;
    }
  });
}

// --- Checks -------------------------------------------------------------------

std::vector<TransactionEntry> SoakRun::CheckLog() {
  const std::vector<Exchange> exchanges = monitor_->TakeExchanges();
  for (const std::string& problem : monitor_->TakeProblems()) Problem(problem);
  std::vector<std::string> found;
  std::vector<TransactionEntry> entries = audit_.Audit(W().LogContents(), exchanges, found);
  for (const std::string& problem : found) Problem(problem);
  for (const TransactionEntry& entry : entries)
    ++(entry.outcome == Outcome::Success ? successLines_ : failureLines_);
  return entries;
}

void SoakRun::CheckRows() {
  for (int row = 0; row < kRowsPerPage; ++row) {
    const int address = W().ShownAddress(row);
    const bool visible = W().fmRegCtrls[row]->isVisible();
    const std::string where = "row " + std::to_string(row) + " of page " + std::to_string(W().PageIndex());
    if (address == kNoRegister || !visible) {
      if (address != kNoRegister || visible) Problem(where + " is shown or hidden against the map");
      continue;
    }
    const std::string text = W().tbRegdata[row]->text().toStdString();
    if (!IsRowHexText(text)) {
      Problem(where + " shows \"" + text + "\"");
      continue;
    }
    const int value = ParseHexText(text);
    int bits = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (W().cbRegToggleBit[row * 8 + bit]->text() == QStringLiteral("1")) bits |= 1 << bit;
    }
    const int cached = W().Cache[static_cast<std::size_t>(address)];
    const int spinner = W().updnRegData[row]->value();
    if (value != cached || value != spinner || value != bits) {
      Problem(where + " is out of step: text " + text + ", cache " + std::to_string(cached) + ", spinner " +
              std::to_string(spinner) + ", bits " + std::to_string(bits));
    }
    const QString label = QStringLiteral("@ reg addr 0x") + QString::fromStdString(HexByteText(address));
    if (W().lblRegAddr[row]->text() != label) Problem(where + " is labelled for another register");
  }
}

void SoakRun::CheckQuiet() {
  CheckLog();
  CheckRows();
  if (W().IgnoreSpinnerChange) Problem("the spinner flag stayed set");
  if (Lib().OutstandingDeviceInfo() != 0) Problem("device information was not given back");
  const QStringList& texts = harness_->Messages().Texts();
  for (; messagesSeen_ < texts.size(); ++messagesSeen_) {
    if (texts[messagesSeen_] != QLatin1String(kNotConnected))
      Problem("message \"" + texts[messagesSeen_].toStdString() + "\"");
  }
}

void SoakRun::Finish() {
  Begin("finish");
  QElapsedTimer clock;
  clock.start();
  while (pendingTimers_ > 0 && clock.elapsed() < 5000) QTest::qWait(10);
  CheckQuiet();
  if (!Lib().HeldBridge()) PlugBridge(false);
  while (!DeviceConnected && clock.elapsed() < 10000) QTest::qWait(5);

  // Quit while Read All is between two registers: everything stops.
  Begin("quit during Read All");
  QTimer::singleShot(Uniform(5, 40), &W(), [this] { W().cbQuit->click(); });
  QTest::mouseClick(W().cbReadAllRegs, Qt::LeftButton);
  while (!W().Unloaded() && clock.elapsed() < 15000) QTest::qWait(5);
  if (!W().Unloaded()) Problem("Quit did not unload the window");
  if (Lib().SessionOpen()) Problem("the session stayed open after Quit");
  CheckLog();
  const auto transfers = Lib().TransferCount();
  W().cbRead_Click(0);
  W().cbWriteAllRegs_Click();
  if (Lib().TransferCount() != transfers) Problem("transfers went out after Quit");
  monitor_->Stop();
}

}  // namespace regdiag::soak
