#include "core/text/transaction_text.h"

#include "core/text/hex_value.h"

namespace regdiag::logtext {

namespace {

// "Reading register 0xAA" / "Writing register 0xAA"
std::string RegisterPrefix(Access access, std::uint8_t address) {
  return std::string(access == Access::Read ? "Reading" : "Writing") + " register 0x" + HexByteText(address);
}

}  // namespace

std::string TransactionLine(Access access, std::uint8_t address, ReplyStatus status, long value) {
  const std::string prefix = RegisterPrefix(access, address);
  switch (status) {
    case ReplyStatus::Success:
      return prefix + " = 0x" + HexByteText(value) + " successful";
    case ReplyStatus::I2cError:
      return prefix + " failed: General I2C error";
    case ReplyStatus::NoAck:
      return prefix + " failed: No ACK from QRV4417. Check power and connections.";
  }
  return prefix + " failed: General I2C error";
}

std::string TransferErrorLine(Access access, std::uint8_t address) {
  return RegisterPrefix(access, address) + " failed: USB transfer error";
}

std::string SkipUnknownLine(std::uint8_t address) {
  return "Skipping register 0x" + HexByteText(address) + ": value not known";
}

}  // namespace regdiag::logtext
