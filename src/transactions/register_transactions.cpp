// Reading and writing one register of the chip.
#include <algorithm>

#include "editing/core/hex_value.h"
#include "link/diag_lib/link_log_text.h"
#include "transactions/core/bridge_packets.h"
#include "transactions/core/transaction_text.h"
#include "window/diag_window.h"
#include "window/scoped_flag.h"
#include "window/hex_entry_box.h"

namespace regdiag {

bool DiagWindow::Exchange(std::span<const std::uint8_t> request, std::int32_t replyLength,
                          std::size_t replyBufferSize, std::uint32_t replyNeeded, logtext::Access access,
                          std::uint8_t address) {
  Transfer.PipeNumber = kOutPipe;
  Transfer.TransferLength = static_cast<std::int32_t>(request.size());
  Transfer.TransferData.assign(request.begin(), request.end());
  // A request that was not sent gets no reply: asking for one would only
  // wait out the time-out.
  bool whole = WritePipe();
  if (whole) {
    Transfer.PipeNumber = kInPipe;
    Transfer.TransferLength = replyLength;
    Transfer.TransferData.assign(replyBufferSize, 0);
    whole = ReadPipe() && Transfer.BytesTransferred >= replyNeeded;
  }
  if (!whole) LogLine(logtext::TransferErrorLine(access, address));
  return whole;
}

bool DiagWindow::ExchangeRead(std::uint8_t address, std::uint8_t& status, std::uint8_t& value) {
  if (!Exchange(ReadRequest(address), kReadReplyLength, kReadReplyBufferSize, kReadReplyNeeded,
                logtext::Access::Read, address)) {
    return false;
  }
  status = Transfer.TransferData[0];
  value = Transfer.TransferData[1];
  return true;
}

bool DiagWindow::ExchangeWrite(std::uint8_t address, std::uint8_t data, std::uint8_t& status) {
  // The length asked for with the reply stays the request's.
  if (!Exchange(WriteRequest(address, data), kWriteRequestLength, kWriteReplyBufferSize, kWriteReplyNeeded,
                logtext::Access::Write, address)) {
    return false;
  }
  status = Transfer.TransferData[0];
  return true;
}

bool DiagWindow::BridgeConnected() {
  if (DeviceConnected) return true;
  ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage));
  LogLine(logtext::kNotDetected);
  return false;
}

void DiagWindow::cbRead_Click(std::int16_t Index) {
  if (!BridgeConnected()) return;
  if (Index < 0 || Index >= kRowsPerPage) return;
  const std::int16_t address = ShownAddress(Index);
  if (address < 0 || address > 255) return;

  std::uint8_t status = 0;
  std::uint8_t value = 0;
  if (!ExchangeRead(static_cast<std::uint8_t>(address), status, value)) return;
  tbRegdata[Index]->setText(QString::fromStdString(HexByteText(value)));
  {
    const ScopedFlag quiet(IgnoreSpinnerChange);
    UpdateSpinnerFromText(Index);
    UpdateBitsFromText(Index);
  }
  Cache[address] = value;
  LogLine(logtext::TransactionLine(logtext::Access::Read, static_cast<std::uint8_t>(address),
                                   DecodeStatusByte(status), Cache[address]));
}

void DiagWindow::cbWrite_Click(std::int16_t Index) {
  if (!BridgeConnected()) return;
  if (Index < 0 || Index >= kRowsPerPage) return;
  const std::int16_t address = ShownAddress(Index);
  if (address < 0 || address > 255) return;

  // The box holds at most two hex digits; the clamp only guards the byte.
  const auto data = static_cast<std::uint8_t>(
      std::clamp<std::int32_t>(ParseHexText(tbRegdata[Index]->text().toStdString()), 0, 255));
  Cache[address] = data;
  std::uint8_t status = 0;
  if (!ExchangeWrite(static_cast<std::uint8_t>(address), data, status)) return;
  LogLine(logtext::TransactionLine(logtext::Access::Write, static_cast<std::uint8_t>(address),
                                   DecodeStatusByte(status), Cache[address]));
}

}  // namespace regdiag
