#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "editing/core/hex_value.h"
#include "link/diag_lib/link_log_text.h"
#include "link/diag_lib/number_text.h"
#include "link/diag_lib/session_log_text.h"
#include "transactions/core/transaction_text.h"

namespace regdiag {
namespace {

using logtext::Access;
using logtext::PipeDirection;

std::string PrintfHex(unsigned long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%lX", value);
  return buffer;
}

TEST(NumberTextTest, AllSixteenBitValuesBothWays) {
  for (int value = std::numeric_limits<std::int16_t>::min();
       value <= std::numeric_limits<std::int16_t>::max(); ++value) {
    const std::string text = HexText16(static_cast<std::int16_t>(value));
    const unsigned bits = static_cast<std::uint16_t>(value);
    ASSERT_EQ(text, PrintfHex(bits)) << value;
    ASSERT_EQ(static_cast<unsigned>(ParseHexText(text)), bits) << value;
  }
}

TEST(NumberTextTest, AllByteValuesAndShiftsOfThirtyTwoBits) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (int shift = 0; shift <= 24; shift += 4) {
      const std::uint32_t value = static_cast<std::uint32_t>(byte) << shift;
      SCOPED_TRACE(value);
      const std::string text = HexText32(value);
      EXPECT_EQ(text, PrintfHex(value));
      EXPECT_EQ(std::strtoul(text.c_str(), nullptr, 16), value);
      // Inverted too, so long texts with high digits are covered.
      EXPECT_EQ(HexText32(~value), PrintfHex(~value));
    }
  }
}

TEST(NumberTextTest, DecimalTexts) {
  struct Case {
    std::int64_t value;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0, " 0"},
      {12, " 12"},
      {-3, "-3"},
      {-1, "-1"},
      {4294967295, " 4294967295"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DecimalText(c.value), c.text);
  }
}

TEST(SessionLogTextTest, AppendsTextThenSuffix) {
  SessionLogText log;
  EXPECT_EQ(log.Text(), "");
  log.Append("first", kCrLf);
  log.Append("", kCrLf);
  log.Append("second", "");
  log.Append("third", "!");
  EXPECT_EQ(log.Text(), "first\r\n\r\nsecondthird!");
  EXPECT_EQ(log.Length(), log.Text().size());
  log.Clear();
  EXPECT_EQ(log.Text(), "");
  log.Append("again", kCrLf);
  EXPECT_EQ(log.Text(), "again\r\n");
}

TEST(SessionLogTextTest, KeepsEmbeddedNul) {
  SessionLogText log;
  log.Append(std::string_view("a\0b", 3), kCrLf);
  EXPECT_EQ(log.Length(), 5u);
}

TEST(LinkLogTextTest, DriverSessionEntries) {
  struct Case {
    const char* name;
    std::string actual;
    const char* expected;
  };
  const Case kCases[] = {
      {"InitFailed", logtext::InitFailed(0xC0000004u, "STATUS_TEXT"),
       "Form_Activate(): Failed to initialize USB driver: error &HC0000004\r\n(STATUS_TEXT)"},
      {"AttachReceived", logtext::AttachReceived(0x4B7C, 0x2005, 0x1A2B),
       "DeviceAttach: Received attach for \r\nvendor ID &H4B7C product ID &H2005\r\ndevice handle &H1A2B"},
      {"AttachReceivedHighIds", logtext::AttachReceived(0xFFFF, 0x000A, 0),
       "DeviceAttach: Received attach for \r\nvendor ID &HFFFF product ID &HA\r\ndevice handle &H0"},
      {"AlreadyHeld", logtext::AlreadyHeld(),
       "DeviceAttach: Previous attached already accepted control of the device - \r\n"
       "control is rejected because only one device control is supported"},
      {"SetInterfaceFailed", logtext::SetInterfaceFailed(0, 1, 0xABCDEF01u, 0x1F, "busy"),
       "DeviceAttach: UsbSetInterface failed\r\n(num.  0 alternate  1)\r\n"
       "device &HABCDEF01: error &H1F\r\n(busy)"},
      {"SetInterfaceFailedBigNumbers", logtext::SetInterfaceFailed(12, 4294967295u, 1, 0, ""),
       "DeviceAttach: UsbSetInterface failed\r\n(num.  12 alternate  4294967295)\r\n"
       "device &H1: error &H0\r\n()"},
      {"DetachReceived", logtext::DetachReceived(0x00FF0010u),
       "DeviceDetach: Received detach for device handle &HFF0010"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(LinkLogTextTest, PipeEntries) {
  struct Case {
    const char* name;
    std::string actual;
    const char* expected;
  };
  const Case kCases[] = {
      {"WriteDeviceInfo", logtext::DeviceInfoFailed(PipeDirection::Write, 0x2A, "no device"),
       "WritePipe: UsbGetDeviceInfo() failed:\r\nerror &H2A (no device)\r\n"},
      {"ReadDeviceInfo", logtext::DeviceInfoFailed(PipeDirection::Read, 0xE0000001u, "x"),
       "ReadPipe: UsbGetDeviceInfo() failed:\r\nerror &HE0000001 (x)\r\n"},
      {"NoPipes", logtext::NoPipes(),
       "  No pipes are defined for this device \r\nother than the default pipe (number 0)"},
      {"WriteTransfer", logtext::TransferFailed(PipeDirection::Write, 0x7, "timeout"),
       "WritePipe: UsbTransfer() failed: error &H7 (timeout)"},
      {"ReadTransfer", logtext::TransferFailed(PipeDirection::Read, 0xFFFFFFFFu, ""),
       "ReadPipe: UsbTransfer() failed: error &HFFFFFFFF ()"},
      {"WritePipeFailed", logtext::PipeFailed(PipeDirection::Write), "Write Pipe failed"},
      {"ReadPipeFailed", logtext::PipeFailed(PipeDirection::Read), "Read Pipe failed"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.actual, c.expected);
  }
}

TEST(LinkLogTextTest, CutAtNul) {
  struct Case {
    std::string text;
    const char* expected;
  };
  const Case kCases[] = {
      {"", ""},
      {"plain", "plain"},
      {std::string("ok\0garbage", 10), "ok"},
      {std::string("\0rest", 5), ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(logtext::CutAtNul(c.text), c.expected);
  }
}

TEST(TransactionTextTest, ListedLines) {
  struct Case {
    Access access;
    std::uint8_t address;
    ReplyStatus status;
    long value;
    const char* expected;
  };
  constexpr Case kCases[] = {
      {Access::Write, 0x00, ReplyStatus::Success, 0x3C, "Writing register 0x00 = 0x3C successful"},
      {Access::Write, 0xFE, ReplyStatus::Success, -1, "Writing register 0xFE = 0xFF successful"},
      {Access::Read, 0x3F, ReplyStatus::Success, 0x1AB, "Reading register 0x3F = 0xAB successful"},
      {Access::Write, 0x3F, ReplyStatus::I2cError, 0, "Writing register 0x3F failed: General I2C error"},
      {Access::Read, 0xC1, ReplyStatus::I2cError, 7, "Reading register 0xC1 failed: General I2C error"},
      {Access::Read, 0x05, ReplyStatus::NoAck, 0,
       "Reading register 0x05 failed: No ACK from QRV4417. Check power and connections."},
      {Access::Write, 0xA0, ReplyStatus::NoAck, 9,
       "Writing register 0xA0 failed: No ACK from QRV4417. Check power and connections."},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(logtext::TransactionLine(c.access, c.address, c.status, c.value), c.expected);
  }
}

TEST(TransactionTextTest, EveryAddressAndValueByte) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const auto address = static_cast<std::uint8_t>(byte);
    const std::string hex = HexByteText(byte);
    const std::string read = logtext::TransactionLine(Access::Read, address, ReplyStatus::Success, byte);
    EXPECT_EQ(read, "Reading register 0x" + hex + " = 0x" + hex + " successful");
    EXPECT_EQ(ParseHexText(read.substr(read.find(" = 0x") + 5)), byte);
    EXPECT_EQ(logtext::TransferErrorLine(Access::Read, address),
              "Reading register 0x" + hex + " failed: USB transfer error");
    EXPECT_EQ(logtext::TransferErrorLine(Access::Write, address),
              "Writing register 0x" + hex + " failed: USB transfer error");
  }
}

}  // namespace
}  // namespace regdiag
