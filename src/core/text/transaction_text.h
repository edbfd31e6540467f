// Log lines of register transactions and sequences.
#pragma once

#include <cstdint>
#include <string>

#include "core/transactions/bridge_packets.h"

namespace regdiag::logtext {

inline constexpr const char* kNotConnectedMessage = "USB Device not connected!";
inline constexpr const char* kReadGroupHeader = "Reading register group:";
inline constexpr const char* kWriteGroupHeader = "Writing register group:";
inline constexpr const char* kReadAllHeader = "Reading all device registers:";
inline constexpr const char* kWriteAllHeader = "Writing all device registers:";

enum class Access { Read, Write };

// "Reading register 0xAA = 0xVV successful", "... failed: General I2C error",
// "... failed: No ACK from QRV4417. Check power and connections."
[[nodiscard]] std::string TransactionLine(Access access, std::uint8_t address, ReplyStatus status,
                                          long value);
// "Reading register 0xAA failed: USB transfer error": the request was not
// sent or the reply did not arrive whole.
[[nodiscard]] std::string TransferErrorLine(Access access, std::uint8_t address);
// "Skipping register 0xAA: value not known": a sequence writes no value that
// nobody read, wrote, edited or loaded.
[[nodiscard]] std::string SkipUnknownLine(std::uint8_t address);

}  // namespace regdiag::logtext
