#include "transactions/core/bridge_packets.h"

#include <array>
#include <cstdint>

#include <gtest/gtest.h>

namespace regdiag {
namespace {

TEST(BridgePacketsTest, RequestsForEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const auto address = static_cast<std::uint8_t>(byte);
    const auto data = static_cast<std::uint8_t>(255 - byte);
    EXPECT_EQ(ReadRequest(address), (std::array<std::uint8_t, 3>{0x01, 0x5B, address}));
    EXPECT_EQ(WriteRequest(address, data), (std::array<std::uint8_t, 4>{0x00, 0x5A, address, data}));
    EXPECT_EQ(WriteRequest(0x10, address), (std::array<std::uint8_t, 4>{0x00, 0x5A, 0x10, address}));
  }
}

TEST(StatusByteTest, AllBytesFollowTheTopTwoBits) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const ReplyStatus expected = (byte >= 0x80)   ? ReplyStatus::I2cError
                                 : (byte >= 0x40) ? ReplyStatus::NoAck
                                                  : ReplyStatus::Success;
    const auto status = static_cast<std::uint8_t>(byte);
    EXPECT_EQ(DecodeStatusByte(status), expected);
    // The low six bits never change the verdict.
    EXPECT_EQ(DecodeStatusByte(status), DecodeStatusByte(static_cast<std::uint8_t>(status & 0xC0)));
  }
}

}  // namespace
}  // namespace regdiag
