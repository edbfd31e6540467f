// The USB library: what every backend promises without a device, run against
// each of them; the libusb backend's pieces that need no device; and the
// simulated backend with bridges plugged in and out and its chip reached
// through transfers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/usb_lib/libusb_library.h"
#include "link/usb_lib/sim_usb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using ::testing::ElementsAre;
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
  library.UsbPutDeviceInfo(nullptr);  // a pointer never handed out is ignored
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

class SimUsbTest : public ::testing::Test {
 protected:
  UsbStatus Init(std::vector<MatchEntry> matches = {kBridgeMatch}) {
    return sim.UsbInit(&driver, matches, recorder.Table(), 0, queue.dispatcher());
  }
  // Plugs a bridge, opens a session and lets the window take the bridge.
  void Hold() {
    bridge = sim.Plug();
    ASSERT_EQ(Init(), kStatusSuccess);
    queue.RunAll();
    device = sim.HandleOf(bridge);
    ASSERT_EQ(sim.HeldBridge(), bridge);
  }
  // Sends data on the OUT pipe, or reads up to its size on the IN pipe.
  UsbStatus Transfer(std::uint32_t pipe, Bytes& data) {
    moved = 99;
    const UsbStatus status =
        sim.UsbTransfer(device, pipe, pipe >> 7, 0, data.data(), static_cast<std::int32_t>(data.size()),
                        &moved, nullptr, 100, nullptr);
    data.resize(moved);
    return status;
  }
  // A request and its reply (up to three bytes); nothing when a transfer failed.
  Bytes Exchange(Bytes request) {
    Bytes reply(3);
    return Transfer(0x02, request) == kStatusSuccess && Transfer(0x82, reply) == kStatusSuccess ? reply
                                                                                                : Bytes{};
  }

  testing::DispatchQueue queue;
  testing::EventRecorder recorder;
  SimUsbLibrary sim;
  DriverHandle driver = 0;
  int bridge = 0;
  DeviceHandle device = 0;
  std::uint32_t moved = 0;
};

// Attach and detach reach the handlers only when the window runs its events,
// and never once the session has ended or the library is gone; ending the
// session releases the bridge, which stays plugged.
TEST_F(SimUsbTest, NotificationsWaitForTheWindowAndDieWithTheSession) {
  Hold();
  sim.Unplug(bridge);
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);  // released at once, reported later
  EXPECT_THAT(recorder.detached, IsEmpty());
  queue.RunAll();
  EXPECT_THAT(recorder.detached, ElementsAre(device));
  const int later = sim.Plug();
  sim.UsbUninit(driver);
  EXPECT_THAT(sim.PluggedBridges(), ElementsAre(later));
  ASSERT_EQ(Init(), kStatusSuccess);
  sim.Unplug(later);
  sim.UsbUninit(driver);
  auto gone = std::make_unique<SimUsbLibrary>();
  gone->Plug();
  ASSERT_EQ(gone->UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
            kStatusSuccess);
  gone.reset();
  EXPECT_EQ(queue.RunAll(), 4);  // each ran, and did nothing
  EXPECT_THAT(recorder.attached, ElementsAre(device));
  EXPECT_THAT(recorder.detached, ElementsAre(device));
  EXPECT_FALSE(recorder.foreignUserData);
}

// Vendor and product must be equal, and every class field that is not 0:
// the simulated backend and the libusb backend match alike.
TEST_F(SimUsbTest, ReportsOnlyMatchingBridges) {
  Hold();
  const DeviceInfo info = recorder.infos.at(0);
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
    SimUsbLibrary other;
    other.Plug();
    ASSERT_EQ(other.UsbInit(&driver, std::vector{entry}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
    recorder.attached.clear();
    queue.RunAll();
    EXPECT_EQ(recorder.attached.size(), matches ? 1u : 0u);
    EXPECT_EQ(libusb_detail::MatchesEntry(entry, info.deviceDescriptor, &info.activeSetting.descriptor),
              matches);
    // Without an interface to compare with, only an entry that asks nothing of it fits.
    const bool asks =
        entry.interfaceClass != 0 || entry.interfaceSubClass != 0 || entry.interfaceProtocol != 0;
    EXPECT_EQ(libusb_detail::MatchesEntry(entry, info.deviceDescriptor, nullptr), matches && !asks);
  }
}

// Two bulk pipes (none on a bridge without endpoints), the one interface
// setting there is, and information handed out until it is given back; a
// transfer on any other pipe moves nothing and never reaches the chip.
TEST_F(SimUsbTest, WhatTheBridgeOffersAndTakes) {
  recorder.decide = [](DeviceHandle, const DeviceInfo& info) { return !info.activeSetting.pipes.empty(); };
  sim.SetNoEndpoints(true);
  const int bare = sim.Plug();
  sim.SetNoEndpoints(false);
  Hold();
  EXPECT_EQ(recorder.infos.at(0).activeSetting.descriptor.bNumEndpoints, 0);
  const AlternateSetting& setting = recorder.infos.at(1).activeSetting;
  std::vector<std::array<std::uint32_t, 4>> pipes;
  for (const PipeRecord& p : setting.pipes) pipes.push_back({p.number, p.type, p.maxPacketSize, p.direction});
  EXPECT_THAT(pipes, ElementsAre(std::array<std::uint32_t, 4>{0x02, 2, 64, 0},
                                 std::array<std::uint32_t, 4>{0x82, 2, 64, 1}));
  EXPECT_EQ(setting.descriptor.bNumEndpoints, 2);
  for (const auto& [pipe, read] : {std::pair{0x01u, 0u}, {0x02u, 1u}, {0x82u, 0u}, {0x00u, 0u}}) {
    std::array<std::uint8_t, 3> buffer{0x01, 0x5B, 0x00};
    EXPECT_EQ(sim.UsbTransfer(device, pipe, read, 0, buffer.data(), 3, &moved, nullptr, 100, nullptr),
              kStatusPipeNotFound);
    EXPECT_EQ(moved, 0u);
  }
  EXPECT_EQ(sim.UsbTransfer(device, 0x02, 0, 0, nullptr, 3, &moved, nullptr, 100, nullptr),
            kStatusInvalidParameter);
  EXPECT_EQ(sim.Bridge(bridge).RequestCount(), 0u);
  EXPECT_EQ(sim.UsbTransfer(device, 0x02, 0, 0, nullptr, 0, nullptr, nullptr, 100, nullptr), kStatusSuccess);
  const DeviceInfo* first = nullptr;
  const DeviceInfo* second = nullptr;
  ASSERT_EQ(sim.UsbGetDeviceInfo(device, &first), kStatusSuccess);
  ASSERT_EQ(sim.UsbGetDeviceInfo(device, &second), kStatusSuccess);
  sim.UsbPutDeviceInfo(first);
  sim.UsbPutDeviceInfo(first);  // twice: ignored
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 1);
  sim.UsbPutDeviceInfo(second);
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 0);
  EXPECT_EQ(sim.UsbGetDeviceInfo(device, nullptr), kStatusInvalidParameter);
  EXPECT_EQ(sim.UsbSetInterface(device, 0, 0), kStatusSuccess);
  EXPECT_EQ(sim.UsbSetInterface(device, 1, 0), kStatusInvalidParameter);
  EXPECT_EQ(sim.UsbSetInterface(device, 0, 1), kStatusInvalidParameter);
  EXPECT_EQ(sim.UsbSetInterface(sim.HandleOf(bare), 0, 0), kStatusNoDevice);  // declined
}

// What the chip answers to each request; a forced status byte or a cut reply
// changes only what the next reply says, and only on the held bridge.
TEST_F(SimUsbTest, ChipAnswersEveryRequest) {
  recorder.decide = [this](DeviceHandle, const DeviceInfo&) { return recorder.attached.size() == 2; };
  const int first = sim.Plug();
  Hold();
  const struct {
    Bytes request, reply;
    std::uint8_t after = 0x3C;  // register 0x10 afterwards; 0x3C before
    std::optional<std::uint8_t> forced = {};
    std::optional<std::size_t> cut = {};
  } kCases[] = {
      // clang-format off
      {{0x01, 0x5B, 0x10}, {0x00, 0x3C}},         {{0x00, 0x5A, 0x10, 0xE1}, {0x00}, 0xE1},
      // Another I2C address, a request too short for its code, an unknown code.
      {{0x01, 0x5D, 0x10}, {0x40, 0x00}},         {{0x00, 0x5C, 0x10, 0xE1}, {0x40}},
      {{0x01, 0x5B}, {0x80}},                     {{0x00, 0x5A, 0x10}, {0x80}},
      {{0x02, 0x5B, 0x10, 0x00}, {0x80}},         {{}, {0x80}},
      // A forced status byte: the chip still does what was asked, or not.
      {{0x01, 0x5B, 0x10}, {0x80, 0x3C}, 0x3C, 0x80}, {{0x00, 0x5A, 0x10, 0x5E}, {0x40}, 0x5E, 0x40},
      {{0x00, 0x5C, 0x10, 0x5E}, {0x00}, 0x3C, 0x00},
      // A reply cut short, down to nothing.
      {{0x01, 0x5B, 0x10}, {}, 0x3C, {}, 0},      {{0x01, 0x5B, 0x10}, {0x00}, 0x3C, {}, 1},
      {{0x01, 0x5B, 0x10}, {0x00, 0x3C}, 0x3C, {}, 9},
      // clang-format on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.request));
    sim.Bridge(bridge).SetRegister(0x10, 0x3C);
    if (c.forced) sim.ForceNextStatusByte(*c.forced);
    if (c.cut) sim.ShortenNextReply(*c.cut);
    Bytes request = c.request;
    Bytes reply(3);
    ASSERT_EQ(Transfer(0x02, request), kStatusSuccess);
    EXPECT_EQ(Transfer(0x82, reply), kStatusSuccess);
    EXPECT_EQ(reply, c.reply);
    EXPECT_EQ(Transfer(0x82, reply), kStatusTimeout);  // the reply was used up
    EXPECT_EQ(Exchange({0x01, 0x5B, 0x10}), (Bytes{0x00, c.after}));
  }
  sim.Bridge(first).HandleRequest(Bytes{0x01, 0x5B, 0x10});
  EXPECT_EQ(sim.Bridge(first).TakeReply(), (Bytes{0x00, 0x00}));  // a fresh chip is all zeros
}

}  // namespace
}  // namespace regdiag::usb
