// The group and whole-device sequences, with a pause after every transfer
// during which the owner serves its events. A sequence stops at once when
// the owner cancels.
#include "core/transactions/register_engine.h"
#include "core/text/transaction_text.h"

namespace regdiag {

Outcome RegisterEngine::RunGroup(const char* header, const std::function<Outcome(int row)>& transaction) {
  if (Busy()) return Outcome::Busy;
  session_.LogLine(header);
  Outcome result = Outcome::Ok;
  for (int row = 0; row < kRowsPerPage; ++row) {
    result = Worse(result, transaction(row));
    if (!waiter_.Pause(kSequencePauseMs)) return Outcome::Cancelled;
  }
  session_.LogLine("");
  return result;
}

Outcome RegisterEngine::ForEachAddress(const char* header, std::span<const std::uint8_t> addresses,
                                       const std::function<Outcome(std::uint8_t)>& transfer) {
  if (Busy()) return Outcome::Busy;
  session_.LogLine(header);
  Outcome result = Outcome::Ok;
  if (!BridgeConnected()) {
    result = Outcome::NoBridge;
  } else {
    for (const std::uint8_t address : addresses) {
      result = Worse(result, transfer(address));
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
  return ForEachAddress(logtext::kReadAllHeader, NamedAddresses(),
                        [this](std::uint8_t address) { return ReadRegister(address); });
}

Outcome RegisterEngine::WriteAll() {
  return ForEachAddress(logtext::kWriteAllHeader, NamedAddresses(), [this](std::uint8_t address) {
    return WriteRegister(address, static_cast<std::uint8_t>(cache_[address] & 0xFF));
  });
}

}  // namespace regdiag
