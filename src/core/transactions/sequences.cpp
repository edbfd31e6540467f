// The group and whole-device sequences, with a pause after every transfer
// during which the owner serves its events. A sequence stops at once when
// the owner cancels.
#include "core/transactions/register_engine.h"

#include <utility>

#include "core/text/transaction_text.h"

namespace regdiag {

Outcome RegisterEngine::OnBridge(std::uint64_t claim, const std::function<Outcome()>& transaction) {
  // Only the sequence's own transaction runs under its claim: what the owner
  // starts in the pauses between them is not part of the sequence.
  const std::optional<std::uint64_t> outer = std::exchange(sequenceClaim_, claim);
  const Outcome outcome = transaction();
  sequenceClaim_ = outer;
  return outcome;
}

bool RegisterEngine::SkipUnknown(std::uint8_t address) {
  if (cache_.Known(address)) return false;
  session_.LogLine(logtext::SkipUnknownLine(address));
  return true;
}

Outcome RegisterEngine::RunGroup(const char* header, const std::function<Outcome(int row)>& transaction) {
  if (Busy()) return Outcome::Busy;
  session_.LogLine(header);
  const std::uint64_t claim = BridgeClaim();
  Outcome result = Outcome::Ok;
  for (int row = 0; row < kRowsPerPage; ++row) {
    result = Worse(result, OnBridge(claim, [&] { return transaction(row); }));
    if (!waiter_.Pause(kSequencePauseMs)) return Outcome::Cancelled;
  }
  session_.LogLine("");
  return result;
}

Outcome RegisterEngine::ForEachAddress(const char* header, std::span<const std::uint8_t> addresses,
                                       const std::function<Outcome(std::uint8_t)>& transfer,
                                       SequenceRule rule, const std::function<bool(std::uint8_t)>& skip) {
  if (Busy()) return Outcome::Busy;
  session_.LogLine(header);
  Outcome result = Outcome::Ok;
  if (!BridgeConnected()) {
    result = Outcome::NoBridge;
  } else {
    const std::uint64_t claim = BridgeClaim();
    for (const std::uint8_t address : addresses) {
      if (LoggedSkip(rule, address) || (skip && skip(address))) continue;
      result = Worse(result, OnBridge(claim, [&] { return transfer(address); }));
      if (!waiter_.Pause(kSequencePauseMs)) return Outcome::Cancelled;
    }
  }
  if (waiter_.Cancelled()) return Outcome::Cancelled;
  session_.LogLine("");
  return result;
}

std::vector<std::uint8_t> RegisterEngine::NamedAddresses() const {
  std::vector<std::uint8_t> named;
  for (int address = 0; address < kRegisterCount; ++address) {
    if (!map_.RegisterNames[address].empty()) named.push_back(static_cast<std::uint8_t>(address));
  }
  return named;
}

Outcome RegisterEngine::ReadAll() {
  return ForEachAddress(
      logtext::kReadAllHeader, NamedAddresses(),
      [this](std::uint8_t address) { return ReadRegister(address); }, SequenceRule::WholeRead);
}

Outcome RegisterEngine::WriteAll() {
  return ForEachAddress(
      logtext::kWriteAllHeader, NamedAddresses(),
      [this](std::uint8_t address) {
        return WriteRegister(
            address, WholeWriteValue(map_, address, static_cast<std::uint8_t>(cache_[address] & 0xFF)));
      },
      SequenceRule::WholeWrite, [this](std::uint8_t address) { return SkipUnknown(address); });
}

}  // namespace regdiag
