// One soak run: the real window on the simulated bridge through many cycles.
// Each cycle does a few user actions (Read All, Write All, group and single
// transfers, tab switches, typed and pasted edits, spinner steps, bit clicks,
// log clearing) while timers plug and unplug bridges, bring a second bridge,
// and edit rows at random moments, and the exchange monitor injects faults
// into transfers. After every action the log, the rows and the cache are
// checked; the first problems end the run.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "exchange_monitor.h"
#include "log_audit.h"
#include "support/window_harness.h"

namespace regdiag::soak {

class SoakRun {
 public:
  explicit SoakRun(std::uint32_t seed);
  ~SoakRun();

  // Shows the window and waits for the start-up; false when it did not end.
  bool Start();
  void RunCycle(int cycle);
  // Ends the run the way a user does: Quit in the middle of a Read All.
  void Finish();

  [[nodiscard]] const std::vector<std::string>& Problems() const { return problems_; }
  [[nodiscard]] std::string Summary() const;
  // Bumped by every action: the hang watchdog reads it from its own thread.
  [[nodiscard]] std::uint64_t Progress() const { return progress_.load(); }
  [[nodiscard]] const char* CurrentAction() const { return action_.load(); }
  [[nodiscard]] int Cycle() const { return cycle_.load(); }

 private:
  DiagWindow& W() { return harness_->Window(); }
  usb::SimUsbLibrary& Lib() { return harness_->Library(); }
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }

  // --- Actions ---------------------------------------------------------
  void DoAction();
  void Begin(const char* action);
  int RandomVisibleRow();
  void SingleTransfer(bool read);
  void TypeIntoRow();
  void PasteIntoRow();
  void StepSpinner();
  void ClickBit();
  void SwitchTab();
  // Plugs a bridge with contents of its own; returns its id, negated for a
  // device with other IDs, or 0 when the bench is full.
  int PlugBridge(bool mayHaveOtherIds = true);
  void UnplugHeld();
  void UnplugAny();
  void ClearLog();
  // Something to happen at a random moment, while other actions may run.
  void ScheduleRandomEvent();

  // --- Checks -----------------------------------------------------------
  // Audits the new log lines; returns their transaction lines.
  std::vector<TransactionEntry> CheckLog();
  void CheckRows();
  void CheckQuiet();
  void Problem(const std::string& text);

  std::mt19937 rng_;
  std::uint32_t seed_;
  std::unique_ptr<test::WindowHarness> harness_;
  std::unique_ptr<ExchangeMonitor> monitor_;
  LogAudit audit_;
  std::vector<std::string> problems_;
  std::atomic<const char*> action_{"start-up"};
  // The user action under way; timers that fire inside it do not replace it.
  const char* userAction_ = "start-up";
  bool inTimer_ = false;
  std::atomic<int> cycle_{-1};
  std::atomic<std::uint64_t> progress_{0};
  int pendingTimers_ = 0;
  std::uint64_t plugs_ = 0;
  std::uint64_t unplugs_ = 0;
  std::uint64_t actions_ = 0;
  std::uint64_t successLines_ = 0;
  std::uint64_t failureLines_ = 0;
  int messagesSeen_ = 0;
};

}  // namespace regdiag::soak
