#include "core/transactions/bridge_packets.h"

namespace regdiag {

std::array<std::uint8_t, kReadRequestLength> ReadRequest(std::uint8_t address) {
  return {kRequestRead, kChipReadAddressByte, address};
}

std::array<std::uint8_t, kWriteRequestLength> WriteRequest(std::uint8_t address, std::uint8_t data) {
  return {kRequestWrite, kChipWriteAddressByte, address, data};
}

ReplyStatus DecodeStatusByte(std::uint8_t status) {
  // A general error outranks a missing acknowledge; the low six bits carry no verdict.
  if ((status & 0x80u) != 0) return ReplyStatus::I2cError;
  if ((status & 0x40u) != 0) return ReplyStatus::NoAck;
  return ReplyStatus::Success;
}

}  // namespace regdiag
