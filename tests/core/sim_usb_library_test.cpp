#include "link/usb_lib/sim_usb_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using testing::DispatchQueue;
using ::testing::ElementsAre;
using testing::EventRecorder;
using ::testing::IsEmpty;
using testing::kBridgeMatch;

class SimUsbLibraryTest : public ::testing::Test {
 protected:
  UsbStatus Init(std::vector<MatchEntry> matches = {kBridgeMatch}) {
    return sim.UsbInit(&driver, matches, recorder.Table(), 0, queue.dispatcher());
  }
  // Transfers a request out and collects the reply (up to 3 bytes).
  std::vector<std::uint8_t> Exchange(DeviceHandle device, std::vector<std::uint8_t> request) {
    std::uint32_t moved = 0;
    EXPECT_EQ(sim.UsbTransfer(device, 0x02, 0, 0, request.data(), static_cast<std::int32_t>(request.size()),
                              &moved, nullptr, kTransferTimeoutMs, nullptr),
              kStatusSuccess);
    std::array<std::uint8_t, 3> reply{};
    EXPECT_EQ(
        sim.UsbTransfer(device, 0x82, 1, 0, reply.data(), 3, &moved, nullptr, kTransferTimeoutMs, nullptr),
        kStatusSuccess);
    return {reply.begin(), reply.begin() + moved};
  }

  DispatchQueue queue;
  EventRecorder recorder;
  SimUsbLibrary sim;
  DriverHandle driver = 0;
};

TEST_F(SimUsbLibraryTest, AttachAndDetachWaitForTheDispatcherButHoldingDoesNot) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  EXPECT_NE(driver, 0u);
  EXPECT_THAT(recorder.attached, IsEmpty());  // not before the window runs its events
  EXPECT_EQ(queue.RunAll(), 1);
  EXPECT_THAT(recorder.attached, ElementsAre(sim.HandleOf(id)));
  EXPECT_EQ(sim.HeldBridge(), id);
  EXPECT_EQ(recorder.userDataMismatch, 0);
  const DeviceHandle handle = sim.HandleOf(id);
  sim.Unplug(id);
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);  // released at once
  EXPECT_THAT(sim.PluggedBridges(), IsEmpty());
  EXPECT_THAT(recorder.detached, IsEmpty());
  queue.RunAll();
  EXPECT_THAT(recorder.detached, ElementsAre(handle));
}

TEST_F(SimUsbLibraryTest, BridgePluggedDuringSessionIsReported) {
  ASSERT_EQ(Init(), kStatusSuccess);
  EXPECT_EQ(queue.RunAll(), 0);
  const int id = sim.Plug();
  EXPECT_NE(sim.HandleOf(id), 0u);
  EXPECT_THAT(recorder.attached, IsEmpty());
  queue.RunAll();
  EXPECT_THAT(recorder.attached, ElementsAre(sim.HandleOf(id)));
}

TEST_F(SimUsbLibraryTest, EveryPlugGetsAFreshHandle) {
  ASSERT_EQ(Init(), kStatusSuccess);
  const int first = sim.Plug();
  const DeviceHandle firstHandle = sim.HandleOf(first);
  sim.Unplug(first);
  const int second = sim.Plug();
  EXPECT_NE(first, second);
  EXPECT_NE(sim.HandleOf(second), firstHandle);
  EXPECT_NE(sim.HandleOf(second), 0u);
}

TEST_F(SimUsbLibraryTest, DeclinedSecondBridgeNeverReportsDetach) {
  recorder.decide = [this](DeviceHandle, const DeviceInfo&) { return recorder.attached.size() == 1; };
  ASSERT_EQ(Init(), kStatusSuccess);
  const int first = sim.Plug();
  const int second = sim.Plug();
  queue.RunAll();
  ASSERT_EQ(recorder.attached.size(), 2u);
  EXPECT_EQ(sim.HeldBridge(), first);
  std::uint32_t moved = 0;
  std::uint8_t byte = 0;
  EXPECT_EQ(sim.UsbTransfer(sim.HandleOf(second), 0x82, 1, 0, &byte, 1, &moved, nullptr, 100, nullptr),
            kStatusNoDevice);
  const DeviceHandle firstHandle = sim.HandleOf(first);
  sim.Unplug(second);
  queue.RunAll();
  EXPECT_THAT(recorder.detached, IsEmpty());
  sim.Unplug(first);
  queue.RunAll();
  EXPECT_THAT(recorder.detached, ElementsAre(firstHandle));
}

TEST_F(SimUsbLibraryTest, UnplugBeforeWindowRunsReportsNothing) {
  ASSERT_EQ(Init(), kStatusSuccess);
  const int id = sim.Plug();
  sim.Unplug(id);
  queue.RunAll();
  EXPECT_THAT(recorder.attached, IsEmpty());
  EXPECT_THAT(recorder.detached, IsEmpty());
}

TEST_F(SimUsbLibraryTest, UnplugAllReportsTheHeldOne) {
  ASSERT_EQ(Init(), kStatusSuccess);
  const int id = sim.Plug();
  sim.Plug(0x1234, 0x5678);
  queue.RunAll();
  const DeviceHandle handle = sim.HandleOf(id);
  sim.UnplugAll();
  queue.RunAll();
  EXPECT_THAT(sim.PluggedBridges(), IsEmpty());
  EXPECT_THAT(recorder.detached, ElementsAre(handle));
}

TEST_F(SimUsbLibraryTest, NotificationsQueuedBeforeUninitAreDropped) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  sim.UsbUninit(driver);
  EXPECT_FALSE(sim.SessionOpen());
  EXPECT_EQ(queue.RunAll(), 1);  // it ran, and did nothing
  EXPECT_THAT(recorder.attached, IsEmpty());

  ASSERT_EQ(Init(), kStatusSuccess);  // a new session reports the bridge again
  queue.RunAll();
  EXPECT_THAT(recorder.attached, ElementsAre(sim.HandleOf(id)));
  sim.Unplug(id);
  sim.UsbUninit(driver);
  queue.RunAll();
  EXPECT_THAT(recorder.detached, IsEmpty());
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);
}

TEST_F(SimUsbLibraryTest, UninitReleasesHeldBridgeButKeepsItPlugged) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  sim.UsbUninit(driver);
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);
  EXPECT_THAT(sim.PluggedBridges(), ElementsAre(id));
}

TEST(SimUsbLibraryLifetimeTest, NotificationsQueuedBeforeDestructionAreDropped) {
  DispatchQueue queue;
  EventRecorder recorder;
  auto sim = std::make_unique<SimUsbLibrary>();
  DriverHandle driver = 0;
  sim->Plug();
  ASSERT_EQ(sim->UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
            kStatusSuccess);
  sim.reset();
  EXPECT_EQ(queue.RunAll(), 1);
  EXPECT_THAT(recorder.attached, IsEmpty());
}

TEST_F(SimUsbLibraryTest, HandlerMayEndTheSessionWhileAttaching) {
  recorder.decide = [this](DeviceHandle, const DeviceInfo&) {
    sim.UsbUninit(driver);
    return true;
  };
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  EXPECT_EQ(recorder.attached.size(), 1u);
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);
  sim.Unplug(id);
  queue.RunAll();
  EXPECT_THAT(recorder.detached, IsEmpty());
}

TEST_F(SimUsbLibraryTest, DeviceIsUsableInsideTheAttachHandler) {
  sim.Plug();
  sim.Bridge().SetRegister(0x00, 0xA7);
  std::vector<std::uint8_t> reply;
  recorder.decide = [&](DeviceHandle device, const DeviceInfo&) {
    reply = Exchange(device, {0x01, 0x5B, 0x00});
    return false;
  };
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  EXPECT_THAT(reply, ElementsAre(0x00, 0xA7));
  EXPECT_EQ(sim.HeldBridge(), std::nullopt);
}

struct MatchCase {
  std::string name;
  MatchEntry entry;
  bool reported;
};

class SimUsbLibraryMatchTest : public SimUsbLibraryTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(SimUsbLibraryMatchTest, ReportsOnlyMatchingBridges) {
  ASSERT_EQ(Init({GetParam().entry}), kStatusSuccess);
  sim.Plug();
  queue.RunAll();
  EXPECT_EQ(recorder.attached.size(), GetParam().reported ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SimUsbLibraryMatchTest,
    ::testing::Values(MatchCase{"VendorAndProduct", {0x4B7C, 0x2005}, true},
                      MatchCase{"OtherVendor", {0x4B7D, 0x2005}, false},
                      MatchCase{"OtherProduct", {0x4B7C, 0x2006}, false},
                      MatchCase{"VendorSpecificInterface", {0x4B7C, 0x2005, 0, 0, 0xFF, 0, 0}, true},
                      MatchCase{"OtherInterfaceClass", {0x4B7C, 0x2005, 0, 0, 0x03, 0, 0}, false},
                      MatchCase{"OtherDeviceClass", {0x4B7C, 0x2005, 0x09, 0, 0, 0, 0}, false}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST_F(SimUsbLibraryTest, InitAndUninitAreCounted) {
  ASSERT_EQ(Init(), kStatusSuccess);
  const DriverHandle first = driver;
  EXPECT_EQ(Init(), kStatusAlreadyInitialized);
  sim.UsbUninit(first);
  EXPECT_FALSE(sim.SessionOpen());
  EXPECT_EQ(sim.InitCalls(), 2);
  EXPECT_EQ(sim.UninitCalls(), 1);
}

TEST_F(SimUsbLibraryTest, FailedInitKeepsItsTextWithEmbeddedNul) {
  const std::string text("Bridge driver missing\0stale tail", 32);
  sim.FailNextInit(kStatusNotSupported, text);
  sim.Plug();
  EXPECT_EQ(Init(), kStatusNotSupported);
  EXPECT_EQ(driver, 0u);
  EXPECT_FALSE(sim.SessionOpen());
  EXPECT_EQ(sim.UsbStatusString(kStatusNotSupported), text);
  EXPECT_EQ(sim.UsbStatusString(kStatusNotSupported).size(), 32u);
  queue.RunAll();
  EXPECT_THAT(recorder.attached, IsEmpty());

  sim.FailNextInit(kStatusNotSupported);  // without text: our description again
  EXPECT_EQ(Init(), kStatusNotSupported);
  EXPECT_EQ(sim.UsbStatusString(kStatusNotSupported), StatusDescription(kStatusNotSupported));

  EXPECT_EQ(Init(), kStatusSuccess);  // one-shot
  EXPECT_NE(driver, 0u);
}

TEST_F(SimUsbLibraryTest, DeviceInfoIsCountedUntilReturned) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  const DeviceInfo* first = nullptr;
  const DeviceInfo* second = nullptr;
  ASSERT_EQ(sim.UsbGetDeviceInfo(sim.HandleOf(id), &first), kStatusSuccess);
  ASSERT_EQ(sim.UsbGetDeviceInfo(sim.HandleOf(id), &second), kStatusSuccess);
  EXPECT_NE(first, second);
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 2);
  EXPECT_EQ(first->activeSetting.descriptor.bInterfaceNumber, 0);
  EXPECT_EQ(first->activeSetting.pipes[1].maxPacketSize, 64u);
  sim.UsbPutDeviceInfo(first);
  sim.UsbPutDeviceInfo(first);  // twice: ignored
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 1);
  sim.UsbPutDeviceInfo(second);
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 0);
}

TEST_F(SimUsbLibraryTest, DeviceInfoFaults) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  const DeviceInfo* info = nullptr;
  EXPECT_EQ(sim.UsbGetDeviceInfo(sim.HandleOf(id), nullptr), kStatusInvalidParameter);
  sim.FailNextDeviceInfo(kStatusIoError);
  EXPECT_EQ(sim.UsbGetDeviceInfo(sim.HandleOf(id), &info), kStatusIoError);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(sim.UsbGetDeviceInfo(sim.HandleOf(id), &info), kStatusSuccess);
  sim.UsbPutDeviceInfo(info);
  EXPECT_EQ(sim.OutstandingDeviceInfo(), 0);
}

TEST_F(SimUsbLibraryTest, BridgeWithoutEndpointsOffersNoPipes) {
  sim.SetNoEndpoints(true);
  const int bare = sim.Plug();
  sim.SetNoEndpoints(false);
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  ASSERT_EQ(recorder.infos.size(), 1u);
  EXPECT_EQ(recorder.infos[0].activeSetting.descriptor.bNumEndpoints, 0);
  EXPECT_THAT(recorder.infos[0].activeSetting.pipes, IsEmpty());
  std::array<std::uint8_t, 3> request{0x01, 0x5B, 0x00};
  std::uint32_t moved = 7;
  EXPECT_EQ(sim.UsbTransfer(sim.HandleOf(bare), 0x02, 0, 0, request.data(), 3, &moved, nullptr, 100, nullptr),
            kStatusPipeNotFound);
  EXPECT_EQ(moved, 0u);
}

TEST_F(SimUsbLibraryTest, SetInterfaceAcceptsTheOnlySettingAndFailsOnDemand) {
  const int id = sim.Plug();
  ASSERT_EQ(Init(), kStatusSuccess);
  queue.RunAll();
  const DeviceHandle handle = sim.HandleOf(id);
  EXPECT_EQ(sim.UsbSetInterface(handle, 0, 0), kStatusSuccess);
  EXPECT_EQ(sim.UsbSetInterface(handle, 1, 0), kStatusInvalidParameter);
  EXPECT_EQ(sim.UsbSetInterface(handle, 0, 1), kStatusInvalidParameter);
  sim.FailNextSetInterface(kStatusBusy);
  EXPECT_EQ(sim.UsbSetInterface(handle, 0, 0), kStatusBusy);
  EXPECT_EQ(sim.UsbSetInterface(handle, 0, 0), kStatusSuccess);
}

TEST_F(SimUsbLibraryTest, BridgeChipFollowsThePluggedBridges) {
  VirtualBridge& standing = sim.Bridge();
  EXPECT_EQ(&sim.Bridge(42), &standing);
  const int first = sim.Plug();
  const int second = sim.Plug();
  EXPECT_EQ(&sim.Bridge(), &sim.Bridge(first));
  EXPECT_NE(&sim.Bridge(first), &sim.Bridge(second));
  EXPECT_NE(&sim.Bridge(first), &standing);
  EXPECT_EQ(sim.Bridge(first).Register(0x00), 0);  // fresh chips start at zero
  sim.Unplug(first);
  EXPECT_EQ(&sim.Bridge(), &sim.Bridge(second));
}

}  // namespace
}  // namespace regdiag::usb
