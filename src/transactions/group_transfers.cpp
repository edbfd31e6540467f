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

void DiagWindow::cbReadRegs_Click() {
  LogLine(logtext::kReadGroupHeader);
  for (std::int16_t row = 0; row < kRowsPerPage; ++row) {
    cbRead_Click(row);
    if (!Pause(kSequencePauseMs)) return;
  }
  LogLine("");
}

void DiagWindow::cbWriteRegs_Click() {
  LogLine(logtext::kWriteGroupHeader);
  for (std::int16_t row = 0; row < kRowsPerPage; ++row) {
    cbWrite_Click(row);
    if (!Pause(kSequencePauseMs)) return;
  }
  LogLine("");
}

void DiagWindow::cbReadAllRegs_Click() {
  LogLine(logtext::kReadAllHeader);
  if (!DeviceConnected) {
    ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage));
    LogLine(logtext::kNotDetected);
  } else {
    for (int address = 0; address < kRegisterCount; ++address) {
      if (Map.RegisterNames[address].empty()) continue;
      const auto a = static_cast<std::uint8_t>(address);
      std::uint8_t status = 0;
      std::uint8_t value = 0;
      if (ExchangeRead(a, status, value)) {
        Cache[address] = value;
        LogLine(logtext::TransactionLine(logtext::Access::Read, a, DecodeStatusByte(status), Cache[address]));
      }
      if (!Pause(kSequencePauseMs)) return;
    }
  }
  if (unloaded_) return;
  LogLine("");
  TabStrip1_Click();
}

void DiagWindow::cbWriteAllRegs_Click() {
  LogLine(logtext::kWriteAllHeader);
  if (!DeviceConnected) {
    ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage));
    LogLine(logtext::kNotDetected);
  } else {
    for (int address = 0; address < kRegisterCount; ++address) {
      if (Map.RegisterNames[address].empty()) continue;
      const auto a = static_cast<std::uint8_t>(address);
      const auto data = static_cast<std::uint8_t>(Cache[address] & 0xFF);
      std::uint8_t status = 0;
      if (ExchangeWrite(a, data, status)) {
        LogLine(logtext::TransactionLine(logtext::Access::Write, a, DecodeStatusByte(status), Cache[address]));
      }
      if (!Pause(kSequencePauseMs)) return;
    }
  }
  if (unloaded_) return;
  LogLine("");
}

}  // namespace regdiag
