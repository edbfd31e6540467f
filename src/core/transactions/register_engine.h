// The engine: everything said to the chip through the bridge. It holds the
// driver session and runs the exchanges, the single register transactions
// and the group and whole-device sequences, writing their log lines itself.
// It knows nothing of windows or terminals: each front end gives it where
// log lines go, how to wait (and when to stop), and what to do when a
// transaction finds no bridge, and turns its outcomes into words of its own.
//
// Threads: one, the owner's. Lifetime: the library, map, cache, sink and
// waiter must outlive the engine.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/link/bridge_session.h"
#include "core/map/register_map.h"
#include "core/text/transaction_text.h"
#include "core/transactions/access_rules.h"

namespace regdiag {

// The pause after every transfer of a sequence, in which the owner serves
// its events.
inline constexpr int kSequencePauseMs = 10;

// What became of a transaction or a sequence. Busy: another transaction's
// transfer was in flight, so nothing was sent or logged.
enum class Outcome { Ok, NoBridge, NoAck, I2cError, TransferError, Cancelled, Busy };

// After a time-out, or a packet that belongs to no request, replies are
// watched this long: each is followed by a read that waits kFollowUpWaitMs,
// and a packet found there fails its transaction. A bridge that answered
// late once may do so again; outside the watch no transaction pays for it.
inline constexpr std::chrono::milliseconds kWatchAfterTroubleMs{2000};
inline constexpr std::uint32_t kFollowUpWaitMs = 5;

class RegisterEngine {
 public:
  struct Hooks {
    // Runs when a transaction or sequence finds no bridge, before the log
    // line says so (the window shows its message box here).
    std::function<void()> notConnected;
    // The clock of the watch after a time-out; the steady clock when empty.
    std::function<std::chrono::steady_clock::time_point()> now;
  };

  RegisterEngine(usb::UsbLibrary& library, const RegisterMap& map, RegisterValueCache& cache, LogSink& log,
                 Waiter& waiter, std::function<void()> wake, Hooks hooks = {});

  [[nodiscard]] BridgeSession& Session() { return session_; }
  [[nodiscard]] const RegisterMap& Map() const { return map_; }
  [[nodiscard]] RegisterValueCache& Cache() { return cache_; }
  // Which cache entries hold a value known in this session: set here by a

  // The check that opens every transaction and sequence: with no bridge
  // held, the not-connected hook and log line, and false.
  [[nodiscard]] bool BridgeConnected();
  // True while a transfer is in flight. Every transaction and sequence that
  // starts then (the window serves its events during a transfer: a timer's
  // click, an accessibility action) is refused with Busy, sending and
  // logging nothing: one exchange at a time, or replies go to the wrong one.
  [[nodiscard]] bool Busy() const { return session_.TransferInFlight(); }

  // One register, the bridge check made by the caller. A read that succeeds
  // calls `show` with the value, then stores it in the cache; a read that
  // fails in any way changes nothing but the log. The log line comes last.
  Outcome ReadRegister(std::uint8_t address, const std::function<void(std::uint8_t)>& show = {});
  // Stores `data` in the cache, then sends it.
  Outcome WriteRegister(std::uint8_t address, std::uint8_t data);

  // Which bridge a sequence begins on: run its transactions through
  // OnBridge with this, and once another bridge has been accepted they fail
  // as transfer errors without sending anything. A sequence never goes on
  // with another chip.
  [[nodiscard]] std::uint64_t BridgeClaim() const { return session_.Claims(); }
  Outcome OnBridge(std::uint64_t claim, const std::function<Outcome()>& transaction);
  // True, after the log line that says so, when the cache does not know the
  // register's value: a sequence then writes nothing to it.
  [[nodiscard]] bool SkipUnknown(std::uint8_t address);

  // A group: the header, `transaction` for rows 0 to 5 on the bridge held at
  // the start, each followed by the sequence pause, and an empty line. The
  // rows make their own bridge check.
  Outcome RunGroup(const char* header, const std::function<Outcome(int row)>& transaction);
  // The header, the bridge check, then `transfer` for each address in order
  // on the bridge held at the start, each followed by the sequence pause, and
  // an empty line. An address that `rule` leaves out gets its skip line
  // instead, and one for which `skip` says true (after logging why) is passed
  // over too; neither has a transfer or a pause.
  Outcome ForEachAddress(const char* header, std::span<const std::uint8_t> addresses,
                         const std::function<Outcome(std::uint8_t)>& transfer,
                         SequenceRule rule = SequenceRule::Everything,
                         const std::function<bool(std::uint8_t)>& skip = {});
  // Every register the map names, in address order: read into the cache, or
  // written from it (W1C bits as 0), leaving out what the map's access rules
  // keep whole-device sequences from, and skipping on a write those whose
  // value is not known.
  Outcome ReadAll();
  Outcome WriteAll();
  // True, after logging why, when `rule` leaves the register out.
  bool LoggedSkip(SequenceRule rule, std::uint8_t address);
  // The addresses the map names, ascending.
  [[nodiscard]] std::vector<std::uint8_t> NamedAddresses() const;

 private:
  struct Reply {
    Outcome outcome = Outcome::TransferError;  // Ok: at least the status byte came
    std::uint32_t bytes = 0;
    std::vector<std::uint8_t> data;  // the reply buffer, zero where nothing came
  };
  // One request and its reply. The IN pipe is drained first when it may
  // hold something old: a bridge just claimed, or an exchange that went
  // wrong before.
  Reply Exchange(std::span<const std::uint8_t> request, std::int32_t replyLength,
                 std::size_t replyBufferSize);
  void DrainIfStale();
  // Inside the watch: true when a packet follows the reply, which then
  // cannot be told from the answer to an earlier request.
  bool StrayPacketFollows();
  [[nodiscard]] std::chrono::steady_clock::time_point Now() const;
  void StartWatch() { watchUntil_ = Now() + kWatchAfterTroubleMs; }
  Outcome Finish(logtext::Access access, std::uint8_t address, ReplyStatus status);
  Outcome Failed(logtext::Access access, std::uint8_t address, Outcome outcome);
  // False while a sequence runs a transaction on a bridge it did not begin on.
  [[nodiscard]] bool OnSequenceBridge() const { return !sequenceClaim_ || *sequenceClaim_ == BridgeClaim(); }

  BridgeSession session_;
  const RegisterMap& map_;
  RegisterValueCache& cache_;
  Waiter& waiter_;
  Hooks hooks_;
  // The last exchange went wrong: what the bridge still says is stale.
  bool drainFirst_ = false;
  // The claim of the sequence whose transaction runs now, if any.
  std::optional<std::uint64_t> sequenceClaim_;
  // The session's claims already drained for.
  std::uint64_t drainedClaims_ = 0;
  // Replies are watched until then (see kWatchAfterTroubleMs).
  std::optional<std::chrono::steady_clock::time_point> watchUntil_;
};

// The outcome that a sequence reports: its first failure, Ok when none.
[[nodiscard]] Outcome Worse(Outcome current, Outcome next);

}  // namespace regdiag
