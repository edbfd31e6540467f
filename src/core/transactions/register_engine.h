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
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/link/bridge_session.h"
#include "core/map/register_map.h"
#include "core/text/transaction_text.h"

namespace regdiag {

// The pause after every transfer of a sequence, in which the owner serves
// its events.
inline constexpr int kSequencePauseMs = 10;

// What became of a transaction or a sequence.
enum class Outcome { Ok, NoBridge, NoAck, I2cError, TransferError, Cancelled };

class RegisterEngine {
 public:
  struct Hooks {
    // Runs when a transaction or sequence finds no bridge, before the log
    // line says so (the window shows its message box here).
    std::function<void()> notConnected;
  };

  RegisterEngine(usb::UsbLibrary& library, const RegisterMap& map, RegisterValueCache& cache, LogSink& log,
                 Waiter& waiter, std::function<void()> wake, Hooks hooks = {});

  [[nodiscard]] BridgeSession& Session() { return session_; }
  [[nodiscard]] const RegisterMap& Map() const { return map_; }
  [[nodiscard]] RegisterValueCache& Cache() { return cache_; }
  // Which cache entries hold a value known in this session: set here by a
  // successful read or write, and by the owner for an edit or a load.
  [[nodiscard]] std::array<bool, kRegisterCount>& Known() { return known_; }

  // The check that opens every transaction and sequence: with no bridge
  // held, the not-connected hook and log line, and false.
  [[nodiscard]] bool BridgeConnected();

  // One register, the bridge check made by the caller. A read that brings a
  // value back calls `show` with it (whatever the status byte says), then
  // stores it in the cache; the log line comes last.
  Outcome ReadRegister(std::uint8_t address, const std::function<void(std::uint8_t)>& show = {});
  // Stores `data` in the cache, then sends it.
  Outcome WriteRegister(std::uint8_t address, std::uint8_t data);

  // A group: the header, `transaction` for rows 0 to 5, each followed by the
  // sequence pause, and an empty line. The rows make their own bridge check.
  Outcome RunGroup(const char* header, const std::function<Outcome(int row)>& transaction);
  // The header, the bridge check, then `transfer` for each address in order,
  // each followed by the sequence pause, and an empty line.
  Outcome ForEachAddress(const char* header, std::span<const std::uint8_t> addresses,
                         const std::function<Outcome(std::uint8_t)>& transfer);
  // Every register the map names, in address order: read into the cache, or
  // written from it.
  Outcome ReadAll();
  Outcome WriteAll();
  // The addresses the map names, ascending.
  [[nodiscard]] std::vector<std::uint8_t> NamedAddresses() const;

 private:
  struct Reply {
    Outcome outcome = Outcome::TransferError;  // Ok: at least the status byte came
    std::uint32_t bytes = 0;
    std::vector<std::uint8_t> data;  // the reply buffer, zero where nothing came
  };
  // One request and its reply.
  Reply Exchange(std::span<const std::uint8_t> request, std::int32_t replyLength,
                 std::size_t replyBufferSize);
  Outcome Finish(logtext::Access access, std::uint8_t address, ReplyStatus status);
  Outcome Failed(logtext::Access access, std::uint8_t address, Outcome outcome);

  BridgeSession session_;
  const RegisterMap& map_;
  RegisterValueCache& cache_;
  std::array<bool, kRegisterCount> known_{};
  Waiter& waiter_;
  Hooks hooks_;
  // The last exchange went wrong: what the bridge still says is stale.
  bool drainFirst_ = false;
};

// The outcome that a sequence reports: its first failure, Ok when none.
[[nodiscard]] Outcome Worse(Outcome current, Outcome next);

}  // namespace regdiag
