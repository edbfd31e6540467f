#include <libusb.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/usb_lib/libusb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using testing::DispatchQueue;
using testing::EventRecorder;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::kBridgeMatch;

struct ErrorCase {
  int libusbCode;
  UsbStatus expected;
};

class LibusbErrorMappingTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LibusbErrorMappingTest, MapsToOurStatus) {
  EXPECT_EQ(libusb_detail::StatusFromLibusbError(GetParam().libusbCode), GetParam().expected)
      << "libusb code " << GetParam().libusbCode;
}

INSTANTIATE_TEST_SUITE_P(Errors, LibusbErrorMappingTest,
                         ::testing::Values(ErrorCase{LIBUSB_SUCCESS, kStatusSuccess},
                                           ErrorCase{LIBUSB_ERROR_IO, kStatusIoError},
                                           ErrorCase{LIBUSB_ERROR_INVALID_PARAM, kStatusInvalidParameter},
                                           ErrorCase{LIBUSB_ERROR_ACCESS, kStatusAccessDenied},
                                           ErrorCase{LIBUSB_ERROR_NO_DEVICE, kStatusNoDevice},
                                           ErrorCase{LIBUSB_ERROR_NOT_FOUND, kStatusNoSuchInterface},
                                           ErrorCase{LIBUSB_ERROR_BUSY, kStatusBusy},
                                           ErrorCase{LIBUSB_ERROR_TIMEOUT, kStatusTimeout},
                                           ErrorCase{LIBUSB_ERROR_OVERFLOW, kStatusOverflow},
                                           ErrorCase{LIBUSB_ERROR_PIPE, kStatusStall},
                                           ErrorCase{LIBUSB_ERROR_INTERRUPTED, kStatusCancelled},
                                           ErrorCase{LIBUSB_ERROR_NO_MEM, kStatusNoMemory},
                                           ErrorCase{LIBUSB_ERROR_NOT_SUPPORTED, kStatusNotSupported},
                                           ErrorCase{-55, kStatusIoError}));

INSTANTIATE_TEST_SUITE_P(TransferStatuses, LibusbErrorMappingTest,
                         ::testing::Values(ErrorCase{LIBUSB_TRANSFER_COMPLETED, kStatusSuccess},
                                           ErrorCase{LIBUSB_TRANSFER_ERROR, kStatusIoError},
                                           ErrorCase{LIBUSB_TRANSFER_TIMED_OUT, kStatusTimeout},
                                           ErrorCase{LIBUSB_TRANSFER_CANCELLED, kStatusCancelled},
                                           ErrorCase{LIBUSB_TRANSFER_STALL, kStatusStall},
                                           ErrorCase{LIBUSB_TRANSFER_NO_DEVICE, kStatusNoDevice},
                                           ErrorCase{LIBUSB_TRANSFER_OVERFLOW, kStatusOverflow}));

struct MatchCase {
  std::string name;
  MatchEntry entry;
  bool withInterface;
  bool expected;
};

class LibusbMatchesEntryTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(LibusbMatchesEntryTest, ComparesIdsAndNonZeroClassFields) {
  DeviceDescriptor device;
  device.idVendor = 0x4B7C;
  device.idProduct = 0x2005;
  device.bDeviceClass = 0xEF;
  device.bDeviceSubClass = 0x02;
  InterfaceDescriptor interface;
  interface.bInterfaceClass = 0xFF;
  interface.bInterfaceSubClass = 0x01;
  interface.bInterfaceProtocol = 0x02;
  const MatchCase& c = GetParam();
  EXPECT_EQ(libusb_detail::MatchesEntry(c.entry, device, c.withInterface ? &interface : nullptr), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LibusbMatchesEntryTest,
    ::testing::Values(
        MatchCase{"IdsOnly", {0x4B7C, 0x2005}, true, true},
        MatchCase{"IdsOnlyWithoutInterface", {0x4B7C, 0x2005}, false, true},
        MatchCase{"OtherVendor", {0x4B7D, 0x2005}, true, false},
        MatchCase{"OtherProduct", {0x4B7C, 0x2004}, true, false},
        MatchCase{"EveryField", {0x4B7C, 0x2005, 0xEF, 0x02, 0xFF, 0x01, 0x02}, true, true},
        MatchCase{"DeviceClassDiffers", {0x4B7C, 0x2005, 0x09, 0, 0, 0, 0}, true, false},
        MatchCase{"DeviceSubClassDiffers", {0x4B7C, 0x2005, 0, 0x03, 0, 0, 0}, true, false},
        MatchCase{"InterfaceClassDiffers", {0x4B7C, 0x2005, 0, 0, 0x03, 0, 0}, true, false},
        MatchCase{"InterfaceSubClassDiffers", {0x4B7C, 0x2005, 0, 0, 0, 0x02, 0}, true, false},
        MatchCase{"InterfaceProtocolDiffers", {0x4B7C, 0x2005, 0, 0, 0, 0, 0x01}, true, false},
        MatchCase{"InterfaceFieldWithoutInterface", {0x4B7C, 0x2005, 0, 0, 0xFF, 0, 0}, false, false}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

struct AttributeCase {
  std::uint8_t bmAttributes;
  PipeType expected;
};

class LibusbPipeTypeTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(LibusbPipeTypeTest, UsesTheTransferTypeBitsOnly) {
  EXPECT_EQ(libusb_detail::PipeTypeFromAttributes(GetParam().bmAttributes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Attributes, LibusbPipeTypeTest,
                         ::testing::Values(AttributeCase{0x00, PipeType::Control},
                                           AttributeCase{0x01, PipeType::Isochronous},
                                           AttributeCase{0x02, PipeType::Bulk},
                                           AttributeCase{0x03, PipeType::Interrupt},
                                           AttributeCase{0x33, PipeType::Interrupt},    // notification usage
                                           AttributeCase{0xFE, PipeType::Bulk}));

TEST(LibusbPermissionNoticeTest, NamesTheDeviceAndTheRemedy) {
  const std::string text = libusb_detail::PermissionNotice(3, 17);
  EXPECT_EQ(text.find("USB-to-I2C interface found (bus 3, device 17)"), 0u);
  EXPECT_THAT(text, HasSubstr("permission denied.\r\n"));
  EXPECT_THAT(text, HasSubstr("70-regdiag.rules"));
  EXPECT_THAT(text, HasSubstr("without replugging"));
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

// The real library on a machine without the bridge: sessions open and close
// cleanly, with hot-plug and with enumeration.
class LibusbLibrarySessionTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != LIBUSB_SUCCESS) {
      GTEST_SKIP() << "libusb cannot start here (no USB subsystem)";
    }
    libusb_exit(context);
  }
  [[nodiscard]] LibusbOptions Options() const {
    LibusbOptions options;
    options.forcePolling = GetParam();
    options.pollPeriodMs = 20;
    return options;
  }

  DispatchQueue queue;
  EventRecorder recorder;
};

TEST_P(LibusbLibrarySessionTest, OpensAndClosesTwiceWithoutABridge) {
  LibusbLibrary library(Options());
  for (int round = 0; round < 2; ++round) {
    DriverHandle driver = 0;
    ASSERT_EQ(library.UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
    library.UsbUninit(driver);
  }
  queue.RunAll();
  EXPECT_THAT(recorder.attached, IsEmpty());
  EXPECT_THAT(recorder.detached, IsEmpty());
}

TEST_P(LibusbLibrarySessionTest, DestructionEndsAnOpenSession) {
  auto library = std::make_unique<LibusbLibrary>(Options());
  DriverHandle driver = 0;
  ASSERT_EQ(library->UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
            kStatusSuccess);
  library.reset();
  queue.RunAll();
  EXPECT_THAT(recorder.attached, IsEmpty());
}

TEST_P(LibusbLibrarySessionTest, EmptyMatchTableIsAccepted) {
  LibusbLibrary library(Options());
  DriverHandle driver = 0;
  ASSERT_EQ(library.UsbInit(&driver, {}, recorder.Table(), 0, queue.dispatcher()), kStatusSuccess);
  library.UsbUninit(driver);
}

INSTANTIATE_TEST_SUITE_P(Discovery, LibusbLibrarySessionTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Enumeration") : std::string("HotPlug");
                         });

}  // namespace
}  // namespace regdiag::usb
