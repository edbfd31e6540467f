// The texts of the log: the driver session and pipe entries, with numbers
// as the log writes them, and the lines of register transactions.
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "core/text/hex_value.h"
#include "core/text/link_log_text.h"
#include "core/text/number_text.h"
#include "core/text/transaction_text.h"

namespace regdiag {
namespace {

using logtext::Access;
using logtext::PipeDirection;

TEST(LinkLogTextTest, Entries) {
  const std::pair<std::string, const char*> kCases[] = {
      {logtext::InitFailed(0xC0000004u, "STATUS_TEXT"),
       "Form_Activate(): Failed to initialize USB driver: error &HC0000004\r\n(STATUS_TEXT)"},
      {logtext::AttachReceived(0xFFFF, 0x000A, 0),
       "DeviceAttach: Received attach for \r\nvendor ID &HFFFF product ID &HA\r\ndevice handle &H0"},
      {logtext::AlreadyHeld(),
       "DeviceAttach: Previous attached already accepted control of the device - \r\n"
       "control is rejected because only one device control is supported"},
      {logtext::SetInterfaceFailed(0, 4294967295u, 0xABCDEF01u, 0x1F, "busy"),
       "DeviceAttach: UsbSetInterface failed\r\n(num.  0 alternate  4294967295)\r\ndevice &HABCDEF01: error "
       "&H1F\r\n(busy)"},
      {logtext::DetachReceived(0x00FF0010u), "DeviceDetach: Received detach for device handle &HFF0010"},
      {logtext::DeviceInfoFailed(PipeDirection::Read, 0xE0000001u, "x"),
       "ReadPipe: UsbGetDeviceInfo() failed:\r\nerror &HE0000001 (x)\r\n"},
      {logtext::NoPipes(),
       "  No pipes are defined for this device \r\nother than the default pipe (number 0)"},
      {logtext::TransferFailed(PipeDirection::Write, 0xFFFFFFFFu, "timeout"),
       "WritePipe: UsbTransfer() failed: error &HFFFFFFFF (timeout)"},
      {logtext::PipeFailed(PipeDirection::Write), "Write Pipe failed"},
      {logtext::PipeFailed(PipeDirection::Read), "Read Pipe failed"},
      {logtext::CutAtNul(std::string("ok\0garbage", 10)), "ok"},
      {DecimalText(-3), "-3"},
      {DecimalText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
  };
  for (const auto& [actual, expected] : kCases) EXPECT_EQ(actual, expected);
}

TEST(TransactionTextTest, Lines) {
  const std::pair<std::string, const char*> kCases[] = {
      {logtext::TransactionLine(Access::Write, 0xFE, ReplyStatus::Success, -1),
       "Writing register 0xFE = 0xFF successful"},
      {logtext::TransactionLine(Access::Read, 0x3F, ReplyStatus::Success, 0x1AB),
       "Reading register 0x3F = 0xAB successful"},
      {logtext::TransactionLine(Access::Write, 0x3F, ReplyStatus::I2cError, 0),
       "Writing register 0x3F failed: General I2C error"},
      {logtext::TransactionLine(Access::Read, 0x05, ReplyStatus::NoAck, 0),
       "Reading register 0x05 failed: No ACK from QRV4417. Check power and connections."},
      {logtext::TransactionLine(Access::Write, 0xA0, ReplyStatus::NoAck, 9),
       "Writing register 0xA0 failed: No ACK from QRV4417. Check power and connections."},
  };
  for (const auto& [actual, expected] : kCases) EXPECT_EQ(actual, expected);
  for (int byte = 0; byte < 256; ++byte) {
    const auto address = static_cast<std::uint8_t>(byte);
    const std::string hex = HexByteText(byte);
    EXPECT_EQ(logtext::TransactionLine(Access::Read, address, ReplyStatus::Success, byte),
              "Reading register 0x" + hex + " = 0x" + hex + " successful");
    EXPECT_EQ(logtext::TransferErrorLine(Access::Read, address),
              "Reading register 0x" + hex + " failed: USB transfer error");
    EXPECT_EQ(logtext::TransferErrorLine(Access::Write, address),
              "Writing register 0x" + hex + " failed: USB transfer error");
  }
}

}  // namespace
}  // namespace regdiag
