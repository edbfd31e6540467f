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

namespace {

std::int16_t RowAddressOf(const DiagWindow& window, std::int16_t row) {
  const int page = window.PageIndex();
  if (page < 0) return kNoRegister;
  return window.Map.AddressAt(page, row);
}

}  // namespace

bool DiagWindow::ExchangeRead(std::uint8_t address, std::uint8_t& status, std::uint8_t& value) {
  const auto request = ReadRequest(address);
  Transfer.PipeNumber = kOutPipe;
  Transfer.TransferLength = kReadRequestLength;
  Transfer.TransferData.assign(request.begin(), request.end());
  // A request that was not sent gets no reply: asking for one would only
  // wait out the time-out.
  bool whole = WritePipe();
  if (whole) {
    Transfer.PipeNumber = kInPipe;
    Transfer.TransferLength = kReadReplyLength;
    Transfer.TransferData.assign(kReadReplyBufferSize, 0);
    whole = ReadPipe() && Transfer.BytesTransferred >= kReadReplyNeeded;
  }
  if (!whole) {
    LogLine(logtext::TransferErrorLine(logtext::Access::Read, address));
    return false;
  }
  status = Transfer.TransferData[0];
  value = Transfer.TransferData[1];
  return true;
}

bool DiagWindow::ExchangeWrite(std::uint8_t address, std::uint8_t data, std::uint8_t& status) {
  const auto request = WriteRequest(address, data);
  Transfer.PipeNumber = kOutPipe;
  Transfer.TransferLength = kWriteRequestLength;
  Transfer.TransferData.assign(request.begin(), request.end());
  bool whole = WritePipe();
  if (whole) {
    // The length asked for stays the request's.
    Transfer.PipeNumber = kInPipe;
    Transfer.TransferData.assign(kWriteReplyBufferSize, 0);
    whole = ReadPipe() && Transfer.BytesTransferred >= kWriteReplyNeeded;
  }
  if (!whole) {
    LogLine(logtext::TransferErrorLine(logtext::Access::Write, address));
    return false;
  }
  status = Transfer.TransferData[0];
  return true;
}

void DiagWindow::cbRead_Click(std::int16_t Index) {
  if (!DeviceConnected) {
    ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage));
    LogLine(logtext::kNotDetected);
    return;
  }
  if (Index < 0 || Index >= kRowsPerPage) return;
  const std::int16_t address = RowAddressOf(*this, Index);
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
  if (!DeviceConnected) {
    ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage));
    LogLine(logtext::kNotDetected);
    return;
  }
  if (Index < 0 || Index >= kRowsPerPage) return;
  const std::int16_t address = RowAddressOf(*this, Index);
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
