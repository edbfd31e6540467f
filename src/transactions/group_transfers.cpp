// The group and whole-device sequences, with a 10 ms pause after every
// transfer. A sequence stops at once when the window is unloaded during one
// of its pauses.
#include "link/diag_lib/link_log_text.h"
#include "transactions/core/bridge_packets.h"
#include "transactions/core/transaction_text.h"
#include "window/diag_window.h"

namespace regdiag {

namespace {
constexpr std::int16_t kSequencePauseMs = 10;
}  // namespace

void DiagWindow::RunGroup(const char* header, void (DiagWindow::*transaction)(std::int16_t)) {
  LogLine(header);
  for (std::int16_t row = 0; row < kRowsPerPage; ++row) {
    (this->*transaction)(row);
    if (!Pause(kSequencePauseMs)) return;
  }
  LogLine("");
}

void DiagWindow::cbReadRegs_Click() { RunGroup(logtext::kReadGroupHeader, &DiagWindow::cbRead_Click); }

void DiagWindow::cbWriteRegs_Click() { RunGroup(logtext::kWriteGroupHeader, &DiagWindow::cbWrite_Click); }

bool DiagWindow::ForEachNamedRegister(const char* header, const std::function<void(std::uint8_t)>& transfer) {
  LogLine(header);
  if (BridgeConnected()) {
    for (int address = 0; address < kRegisterCount; ++address) {
      if (Map.RegisterNames[address].empty()) continue;
      transfer(static_cast<std::uint8_t>(address));
      if (!Pause(kSequencePauseMs)) return false;
    }
  }
  if (unloaded_) return false;
  LogLine("");
  return true;
}

void DiagWindow::cbReadAllRegs_Click() {
  const bool finished = ForEachNamedRegister(logtext::kReadAllHeader, [this](std::uint8_t address) {
    std::uint8_t status = 0;
    std::uint8_t value = 0;
    if (!ExchangeRead(address, status, value)) return;
    Cache[address] = value;
    LogLine(logtext::TransactionLine(logtext::Access::Read, address, DecodeStatusByte(status), Cache[address]));
  });
  if (finished) TabStrip1_Click();
}

void DiagWindow::cbWriteAllRegs_Click() {
  ForEachNamedRegister(logtext::kWriteAllHeader, [this](std::uint8_t address) {
    const auto data = static_cast<std::uint8_t>(Cache[address] & 0xFF);
    std::uint8_t status = 0;
    if (!ExchangeWrite(address, data, status)) return;
    LogLine(logtext::TransactionLine(logtext::Access::Write, address, DecodeStatusByte(status), Cache[address]));
  });
}

}  // namespace regdiag
