// The bridge's request and reply packets and the status byte.
#pragma once

#include <array>
#include <cstdint>

namespace regdiag {

inline constexpr std::uint32_t kOutPipe = 0x02;
inline constexpr std::uint32_t kInPipe = 0x82;
inline constexpr std::uint8_t kChipI2cAddress = 0x2D;  // 7-bit
inline constexpr std::uint8_t kRequestWrite = 0x00;
inline constexpr std::uint8_t kRequestRead = 0x01;
inline constexpr std::uint8_t kChipReadAddressByte = (kChipI2cAddress << 1) | 1;  // 0x5B
inline constexpr std::uint8_t kChipWriteAddressByte = kChipI2cAddress << 1;       // 0x5A

// Lengths asked for and buffer sizes of the exchanges.
inline constexpr int kReadRequestLength = 3;
inline constexpr int kWriteRequestLength = 4;
inline constexpr int kReadReplyLength = 3;
inline constexpr int kReadReplyBufferSize = 3;
inline constexpr int kWriteReplyBufferSize = 10;  // asked for: kWriteRequestLength
// Bytes a reply must carry to be judged: status and value, or status alone.
inline constexpr int kReadReplyNeeded = 2;
inline constexpr int kWriteReplyNeeded = 1;

[[nodiscard]] std::array<std::uint8_t, kReadRequestLength> ReadRequest(std::uint8_t address);
[[nodiscard]] std::array<std::uint8_t, kWriteRequestLength> WriteRequest(std::uint8_t address,
                                                                        std::uint8_t data);

enum class ReplyStatus { Success, NoAck, I2cError };
// Bit 7 first (general I2C error), then bit 6 (no acknowledge); bits 0..5
// are not examined.
[[nodiscard]] ReplyStatus DecodeStatusByte(std::uint8_t status);

}  // namespace regdiag
