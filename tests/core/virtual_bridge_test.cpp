#include "link/usb_lib/virtual_bridge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace regdiag::usb {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

constexpr std::uint8_t kPreset = 0x3C;  // value of register 0x10 before each case

struct RequestCase {
  std::string name;
  Bytes request;
  Bytes reply;
  std::uint8_t register10After;
};

class VirtualBridgeRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(VirtualBridgeRequestTest, RepliesAndChangesTheChipAsExpected) {
  const RequestCase& c = GetParam();
  VirtualBridge bridge;
  bridge.SetRegister(0x10, kPreset);
  bridge.HandleRequest(c.request);
  ASSERT_TRUE(bridge.HasReply());
  EXPECT_EQ(bridge.TakeReply(), c.reply);
  EXPECT_EQ(bridge.Register(0x10), c.register10After);
  EXPECT_FALSE(bridge.HasReply());
  EXPECT_EQ(bridge.RequestCount(), 1u);  // malformed ones too
}

INSTANTIATE_TEST_SUITE_P(
    Requests, VirtualBridgeRequestTest,
    ::testing::Values(RequestCase{"Read", {0x01, 0x5B, 0x10}, {0x00, kPreset}, kPreset},
                      RequestCase{"ReadWithTrailingByte", {0x01, 0x5B, 0x10, 0x77}, {0x00, kPreset}, kPreset},
                      RequestCase{"ReadOtherAddress", {0x01, 0x5D, 0x10}, {0x40, 0x00}, kPreset},
                      RequestCase{"ReadWithWriteAddress", {0x01, 0x5A, 0x10}, {0x40, 0x00}, kPreset},
                      RequestCase{"ReadTooShort", {0x01, 0x5B}, {0x80}, kPreset},
                      RequestCase{"Write", {0x00, 0x5A, 0x10, 0xE1}, {0x00}, 0xE1},
                      RequestCase{"WriteOtherAddress", {0x00, 0x5C, 0x10, 0xE1}, {0x40}, kPreset},
                      RequestCase{"WriteWithReadAddress", {0x00, 0x5B, 0x10, 0xE1}, {0x40}, kPreset},
                      RequestCase{"WriteTooShort", {0x00, 0x5A, 0x10}, {0x80}, kPreset},
                      RequestCase{"UnknownCode", {0x02, 0x5B, 0x10, 0x00}, {0x80}, kPreset},
                      RequestCase{"Empty", {}, {0x80}, kPreset}),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

TEST(VirtualBridgeTest, FreshChipIsZeroAndHasNoReply) {
  VirtualBridge bridge;
  EXPECT_FALSE(bridge.HasReply());
  EXPECT_TRUE(bridge.TakeReply().empty());
  for (int address = 0; address < 256; ++address) {
    ASSERT_EQ(bridge.Register(static_cast<std::uint8_t>(address)), 0) << address;
  }
  EXPECT_EQ(bridge.RequestCount(), 0u);
}

TEST(VirtualBridgeTest, ReadsEveryRegisterAtItsOwnAddress) {
  VirtualBridge bridge;
  for (int address = 0; address < 256; ++address) {
    bridge.SetRegister(static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(255 - address));
  }
  for (int address = 0; address < 256; ++address) {
    bridge.HandleRequest(Bytes{0x01, 0x5B, static_cast<std::uint8_t>(address)});
    ASSERT_THAT(bridge.TakeReply(), ElementsAre(0x00, 255 - address)) << address;
  }
  EXPECT_EQ(bridge.RequestCount(), 256u);
}

TEST(VirtualBridgeTest, NewRequestReplacesUncollectedReply) {
  VirtualBridge bridge;
  bridge.SetRegister(0x01, 0x11);
  bridge.HandleRequest(Bytes{0x01, 0x5B, 0x01});
  bridge.HandleRequest(Bytes{0x00, 0x5A, 0x02, 0x22});
  EXPECT_THAT(bridge.TakeReply(), ElementsAre(0x00));
  EXPECT_FALSE(bridge.HasReply());
  EXPECT_EQ(bridge.RequestCount(), 2u);
}

// A forced status byte replaces only the status: the chip still does (or,
// unaddressed, does not do) the work, and only the next reply is touched.
TEST(VirtualBridgeFaultTest, ForcedStatus) {
  struct Case {
    const char* name;
    std::uint8_t status;
    Bytes request;
    Bytes reply;
    std::uint8_t register30After;
  };
  const Case kCases[] = {
      {"ReadKeepsTheValue", 0x80, {0x01, 0x5B, 0x30}, {0x80, 0x99}, 0x99},
      {"WriteStillWrites", 0x40, {0x00, 0x5A, 0x30, 0x5E}, {0x40}, 0x5E},
      {"SuccessHidesANoAck", 0x00, {0x00, 0x5C, 0x30, 0x5E}, {0x00}, 0x99},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    VirtualBridge bridge;
    bridge.SetRegister(0x30, 0x99);
    bridge.ForceNextStatus(c.status);
    bridge.HandleRequest(c.request);
    EXPECT_EQ(bridge.TakeReply(), c.reply);
    EXPECT_EQ(bridge.Register(0x30), c.register30After);
    bridge.HandleRequest(Bytes{0x01, 0x5B, 0x30});
    EXPECT_THAT(bridge.TakeReply(), ElementsAre(0x00, c.register30After));
  }
}

struct ShortCase {
  std::string name;
  std::size_t bytes;
  Bytes reply;
};

class VirtualBridgeShortReplyTest : public ::testing::TestWithParam<ShortCase> {};

TEST_P(VirtualBridgeShortReplyTest, CutsOnlyTheNextReply) {
  VirtualBridge bridge;
  bridge.SetRegister(0x05, 0xAB);
  bridge.ShortenNextReply(GetParam().bytes);
  bridge.HandleRequest(Bytes{0x01, 0x5B, 0x05});
  EXPECT_TRUE(bridge.HasReply());  // even when cut to nothing
  EXPECT_EQ(bridge.TakeReply(), GetParam().reply);
  bridge.HandleRequest(Bytes{0x01, 0x5B, 0x05});
  EXPECT_THAT(bridge.TakeReply(), ElementsAre(0x00, 0xAB));
}

INSTANTIATE_TEST_SUITE_P(Lengths, VirtualBridgeShortReplyTest,
                         ::testing::Values(ShortCase{"ToNothing", 0, {}}, ShortCase{"ToStatus", 1, {0x00}},
                                           ShortCase{"ToFullLength", 2, {0x00, 0xAB}},
                                           ShortCase{"BeyondLength", 9, {0x00, 0xAB}}),
                         [](const ::testing::TestParamInfo<ShortCase>& info) { return info.param.name; });

TEST(VirtualBridgeFaultTest, ForcedStatusAndShortReplyCombine) {
  VirtualBridge bridge;
  bridge.ForceNextStatus(0xC0);
  bridge.ShortenNextReply(1);
  bridge.HandleRequest(Bytes{0x01, 0x5B, 0x00});
  EXPECT_THAT(bridge.TakeReply(), ElementsAre(0xC0));
}

TEST(VirtualBridgeDemoTest, DemoValuesAreDeterministicAndBelievable) {
  VirtualBridge first;
  VirtualBridge second;
  second.SetRegister(0x42, 0x01);  // earlier contents do not matter
  first.LoadDemoValues();
  second.LoadDemoValues();
  int nonZero = 0;
  std::vector<std::uint8_t> values;
  for (int address = 0; address < 256; ++address) {
    const auto a = static_cast<std::uint8_t>(address);
    ASSERT_EQ(first.Register(a), second.Register(a)) << address;
    nonZero += first.Register(a) != 0 ? 1 : 0;
    values.push_back(first.Register(a));
  }
  EXPECT_EQ(first.Register(0x00), 0xA7);  // chip identification
  EXPECT_GT(nonZero, 200);
  std::sort(values.begin(), values.end());
  EXPECT_GT(std::unique(values.begin(), values.end()) - values.begin(), 100);
}

}  // namespace
}  // namespace regdiag::usb
