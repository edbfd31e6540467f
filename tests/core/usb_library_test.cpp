// The USB library: what every backend promises without a device, run against
// each of them; which bridges the simulated and the libusb backend take; and
// the virtual chip's answer to every request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "backends/libusb/libusb_library.h"
#include "backends/sim/sim_usb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using ::testing::IsEmpty;
using testing::kBridgeMatch;
using Bytes = std::vector<std::uint8_t>;

struct SimBackend {
  static std::unique_ptr<UsbLibrary> Make() { return std::make_unique<SimUsbLibrary>(); }
};

// Without a bridge, with hot-plug or with enumeration.
template <bool kPolling>
struct LibusbBackend {
  static std::unique_ptr<UsbLibrary> Make() {
    return std::make_unique<LibusbLibrary>(LibusbOptions{.pollPeriodMs = 20, .forcePolling = kPolling});
  }
};

template <typename Backend>
class UsbLibraryContractTest : public ::testing::Test {
 protected:
  UsbStatus Init(DriverHandle* driver, std::vector<MatchEntry> matches = {kBridgeMatch}) {
    return library->UsbInit(driver, matches, recorder.Table(), 0, queue.dispatcher());
  }

  testing::DispatchQueue queue;
  testing::EventRecorder recorder;
  std::unique_ptr<UsbLibrary> library = Backend::Make();
};

using Backends = ::testing::Types<SimBackend, LibusbBackend<false>, LibusbBackend<true>>;
TYPED_TEST_SUITE(UsbLibraryContractTest, Backends);

// One session at a time; a refused call leaves nothing half-open; device
// calls on handles never given fail; a session still open when the library
// goes is ended without a handler running.
TYPED_TEST(UsbLibraryContractTest, SessionAndHandles) {
  UsbLibrary& library = *this->library;
  EXPECT_EQ(this->Init(nullptr), kStatusInvalidParameter);
  DriverHandle driver = 99;
  EXPECT_EQ(library.UsbInit(&driver, std::vector{kBridgeMatch}, this->recorder.Table(), 0, Dispatcher{}),
            kStatusInvalidParameter);
  EXPECT_EQ(driver, 0u);
  for (const bool open : {false, true}) {
    for (const DeviceHandle device : {DeviceHandle{0}, DeviceHandle{0xFFFFFFF0}}) {
      SCOPED_TRACE(::testing::Message() << "session " << open << ", handle " << device);
      const DeviceInfo sentinel;
      const DeviceInfo* info = &sentinel;
      EXPECT_EQ(library.UsbGetDeviceInfo(device, &info), kStatusInvalidHandle);
      EXPECT_EQ(info, nullptr);
      std::array<std::uint8_t, 3> buffer{};
      std::uint32_t moved = 77;
      EXPECT_EQ(library.UsbTransfer(device, 0x02, 0, 0, buffer.data(), 3, &moved, nullptr, 10, nullptr),
                kStatusInvalidHandle);
      EXPECT_EQ(moved, 0u);
      EXPECT_EQ(library.UsbSetInterface(device, 0, 0), kStatusInvalidHandle);
    }
    if (!open) {
      ASSERT_EQ(this->Init(&driver, {}), kStatusSuccess);  // an empty match table too
    }
  }
  EXPECT_NE(driver, 0u);
  DriverHandle refused = 99;
  EXPECT_EQ(this->Init(&refused), kStatusAlreadyInitialized);
  EXPECT_EQ(refused, 0u);
  library.UsbUninit(driver + 1);  // not the session's handle: ignored
  EXPECT_EQ(this->Init(&refused), kStatusAlreadyInitialized);
  library.UsbUninit(driver);
  library.UsbUninit(driver);
  ASSERT_EQ(this->Init(&driver), kStatusSuccess);
  this->library.reset();
  this->queue.RunAll();
  EXPECT_THAT(this->recorder.attached, IsEmpty());
}

// Every status has a text of its own, the one the log shows.
TYPED_TEST(UsbLibraryContractTest, StatusTexts) {
  std::string texts;
  for (const UsbStatus status :
       {0x0u,        0x20000001u, 0x20000002u, 0x20000003u, 0x20000004u, 0x20000005u, 0x20000006u,
        0x20000007u, 0x20000008u, 0x20000009u, 0x2000000Au, 0x2000000Bu, 0x2000000Cu, 0x2000000Du,
        0x2000000Eu, 0x2000000Fu, 0x20000010u, 0x20000011u, 0x200000FFu, 0x20000012u, 0x1u}) {
    texts += this->library->UsbStatusString(status) + "|";
  }
  EXPECT_EQ(
      texts,
      "Success|Invalid handle|Invalid parameter|The device is no longer connected|The device is not open|"
      "Access denied: no permission to open the device|The device is busy: another program is using it|"
      "The transfer timed out|The endpoint stalled|The device sent more data than was asked for|"
      "No such pipe on the device|Input/output error|Out of memory|The operation is not supported|"
      "The USB library is already initialised|The USB library is not initialised|"
      "The operation was cancelled|The device has no such interface or alternate setting|"
      "Internal error in the USB library|Unknown USB library status|Unknown USB library status|");
}

TEST(LibusbDetailTest, PermissionNotice) {
  EXPECT_EQ(
      libusb_detail::PermissionNotice(3, 17),
      "USB-to-I2C interface found (bus 3, device 17) but it cannot be opened: permission denied.\r\n"
      "Install the udev rule 70-regdiag.rules as shown in the README; the bridge is taken up as soon as "
      "it can be opened, without replugging.");
}

// Vendor, product and every class field that is not 0 must be equal, for the
// simulated and the libusb backend alike; a matching bridge is reported, and
// its departure, when the window runs its events.
TEST(SimUsbTest, ReportsOnlyMatchingBridges) {
  testing::DispatchQueue queue;
  testing::EventRecorder recorder;
  SimUsbLibrary sim;
  DriverHandle driver = 0;
  sim.Plug();
  ASSERT_EQ(sim.UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
            kStatusSuccess);
  queue.RunAll();
  const DeviceInfo info = recorder.infos.at(0);
  const DeviceHandle held = recorder.attached.at(0);
  EXPECT_EQ(sim.UsbSetInterface(held, 0, 0), kStatusSuccess);  // the one setting there is
  EXPECT_EQ(sim.UsbSetInterface(held, 1, 0), kStatusInvalidParameter);
  EXPECT_EQ(sim.UsbSetInterface(held, 0, 1), kStatusInvalidParameter);
  std::uint8_t byte = 0;  // and no pipe 0x01
  EXPECT_EQ(sim.UsbTransfer(held, 0x01, 0, 0, &byte, 1, nullptr, nullptr, 10, nullptr), kStatusPipeNotFound);
  const std::pair<MatchEntry, bool> kCases[] = {
      {{0x4B7C, 0x2005}, true},
      {{0x4B7D, 0x2005}, false},
      {{0x4B7C, 0x2006}, false},
      {{0x4B7C, 0x2005, 0, 0, 0xFF, 0, 0}, true},  // the vendor-specific interface
      {{0x4B7C, 0x2005, 0, 0, 0x03, 0, 0}, false},
      {{0x4B7C, 0x2005, 0x09, 0, 0, 0, 0}, false},
      {{0x4B7C, 0x2005, 0, 0x01, 0, 0, 0}, false},
      {{0x4B7C, 0x2005, 0, 0, 0, 0x01, 0}, false},
      {{0x4B7C, 0x2005, 0, 0, 0, 0, 0x01}, false},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto& [entry, matches] = kCases[i];
    SCOPED_TRACE(i);
    recorder.attached.clear();
    recorder.detached.clear();
    SimUsbLibrary other;
    const int id = other.Plug();
    ASSERT_EQ(other.UsbInit(&driver, std::vector{entry}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
    queue.RunAll();
    other.Unplug(id);
    EXPECT_THAT(recorder.detached, IsEmpty());  // not before the window runs its events
    queue.RunAll();
    EXPECT_EQ(recorder.attached.size(), matches ? 1u : 0u);
    EXPECT_EQ(recorder.detached, recorder.attached);
    EXPECT_EQ(libusb_detail::MatchesEntry(entry, info.deviceDescriptor, &info.activeSetting.descriptor),
              matches);
    // Without an interface to compare with, only an entry that asks nothing of it fits.
    const bool asks = (entry.interfaceClass | entry.interfaceSubClass | entry.interfaceProtocol) != 0;
    EXPECT_EQ(libusb_detail::MatchesEntry(entry, info.deviceDescriptor, nullptr), matches && !asks);
    other.Plug();  // queued for a session that then ends: never reported
    other.UsbUninit(driver);
    queue.RunAll();
    EXPECT_EQ(recorder.attached.size(), matches ? 1u : 0u);
    // Queued for a library that is then gone: the next round would report it.
    ASSERT_EQ(other.UsbInit(&driver, std::vector{entry}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
  }
  EXPECT_FALSE(recorder.foreignUserData);
}

// What the chip behind every bridge answers to each request, malformed ones
// too; a forced status byte or a cut reply changes only what the next reply
// says, and a write with a forced error has still been done.
TEST(VirtualBridgeTest, AnswersEveryRequest) {
  const struct {
    Bytes request, reply;
    std::uint8_t after = 0x3C;  // register 0x10 afterwards; 0x3C before
    int forced = -1, cut = -1;
  } kCases[] = {
      // clang-format off
      {{0x01, 0x5B, 0x10}, {0x00, 0x3C}},            {{0x00, 0x5A, 0x10, 0xE1}, {0x00}, 0xE1},
      {{0x01, 0x5D, 0x10}, {0x40, 0x00}},            {{0x00, 0x5C, 0x10, 0xE1}, {0x40}},
      {{0x01, 0x5B}, {0x80}},                        {{0x00, 0x5A, 0x10}, {0x80}},
      {{0x02, 0x5B, 0x10, 0x00}, {0x80}},            {{}, {0x80}},
      {{0x01, 0x5B, 0x10}, {0x80, 0x3C}, 0x3C, 0x80}, {{0x00, 0x5A, 0x10, 0x5E}, {0x40}, 0x5E, 0x40},
      {{0x01, 0x5B, 0x10}, {}, 0x3C, -1, 0},         {{0x01, 0x5B, 0x10}, {0x00}, 0x3C, -1, 1},
      // clang-format on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.request));
    VirtualBridge chip;
    chip.SetRegister(0x10, 0x3C);
    if (c.forced >= 0) chip.ForceNextStatus(static_cast<std::uint8_t>(c.forced));
    if (c.cut >= 0) chip.ShortenNextReply(static_cast<std::size_t>(c.cut));
    chip.HandleRequest(c.request);
    EXPECT_TRUE(chip.HasReply());
    EXPECT_EQ(chip.TakeReply(), c.reply);
    EXPECT_FALSE(chip.HasReply());  // taken once
    chip.HandleRequest(Bytes{0x01, 0x5B, 0x10});
    EXPECT_EQ(chip.TakeReply(), (Bytes{0x00, c.after}));
  }
}

}  // namespace
}  // namespace regdiag::usb
