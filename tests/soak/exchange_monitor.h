// Watches every transfer the window makes on the simulated bridge, now and
// then injects a fault into one exchange, and records what each exchange must
// leave in the log: the register, the outcome, and for a success the value
// the chip really held or was sent.
//
// It sits in the simulated library's next-transfer hook and re-arms itself
// on every transfer, so it sees them all; nothing else may use that hook
// while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "transactions/core/transaction_text.h"

namespace regdiag {
class DiagWindow;
namespace usb {
class SimUsbLibrary;
}
}  // namespace regdiag

namespace regdiag::soak {

enum class Outcome { Success, NoAck, I2cError, TransferError };

[[nodiscard]] const char* OutcomeName(Outcome outcome);

// One request and its reply, as the bridge saw them.
struct Exchange {
  logtext::Access access = logtext::Access::Read;
  std::uint8_t address = 0;
  std::uint8_t data = 0;      // the value sent (writes)
  std::size_t logOffset = 0;  // log length when the request went out
  Outcome expected = Outcome::Success;
  std::uint8_t chipValue = 0;  // what the chip held when asked (reads)
  std::string fault = "none";  // the fault injected, for messages
  // The lines the exchange must log before its transaction line (the pipe
  // entries of a failed transfer); unknown when not set.
  std::optional<std::vector<std::string>> linesBefore;
};

class ExchangeMonitor {
 public:
  ExchangeMonitor(DiagWindow& window, usb::SimUsbLibrary& library, std::mt19937& rng, double faultRate);
  ~ExchangeMonitor();
  ExchangeMonitor(const ExchangeMonitor&) = delete;
  ExchangeMonitor& operator=(const ExchangeMonitor&) = delete;

  void Start();
  // Takes the hook out; exchanges and problems stay for collection.
  void Stop();

  // The exchanges recorded since the last call. Checks still owed for the
  // last one (a write landing on the chip) are done first.
  [[nodiscard]] std::vector<Exchange> TakeExchanges();
  // What the monitor itself found wrong since the last call.
  [[nodiscard]] std::vector<std::string> TakeProblems();
  [[nodiscard]] std::uint64_t FaultsInjected() const { return faults_; }
  [[nodiscard]] std::uint64_t ExchangesSeen() const { return exchangesSeen_; }

 private:
  enum class Fault {
    None,
    FailOut,
    TimeOutOut,
    UnplugAtOut,
    ForceStatus,
    ShortenReply,
    FailDeviceInfoIn,
    FailIn,
    TimeOutIn,
    UnplugAtIn,
  };

  void Arm();
  void OnTransfer();
  void OnRequest();
  void OnReply();
  void PlanFault(Exchange& exchange, int bridge);
  // The library's text for a status as the log shows it.
  [[nodiscard]] std::string StatusText(std::uint32_t status) const;
  // A write that reached the chip must have set the register.
  void CheckWriteLanded();
  void Problem(const std::string& text);

  DiagWindow& window_;
  usb::SimUsbLibrary& library_;
  std::mt19937& rng_;
  double faultRate_;
  bool running_ = false;

  std::vector<Exchange> exchanges_;
  std::vector<std::string> problems_;
  // The exchange whose request went out last, while its reply is owed.
  bool awaitingReply_ = false;
  Fault replyFault_ = Fault::None;
  std::uint32_t replyFailure_ = 0;  // the status a failing reply transfer gives
  int replyBridge_ = 0;             // the bridge the request went to
  // A write whose request reached the chip, not yet checked there.
  struct PendingWrite {
    int bridge = 0;
    std::uint8_t address = 0;
    std::uint8_t data = 0;
  };
  std::optional<PendingWrite> pendingWrite_;
  std::uint64_t faults_ = 0;
  std::uint64_t exchangesSeen_ = 0;
};

}  // namespace regdiag::soak
