// Transfers of the simulated backend against a held bridge, and the faults
// it can inject into them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/usb_lib/sim_usb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using testing::DispatchQueue;
using ::testing::ElementsAre;
using testing::EventRecorder;
using testing::kBridgeMatch;

constexpr std::uint32_t kOut = 0x02;
constexpr std::uint32_t kIn = 0x82;

class SimUsbTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bridgeId = sim.Plug();
    DriverHandle driver = 0;
    ASSERT_EQ(sim.UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
    queue.RunAll();
    device = sim.HandleOf(bridgeId);
    ASSERT_EQ(sim.HeldBridge(), bridgeId);
  }

  UsbStatus Send(std::vector<std::uint8_t> request) {
    moved = 99;
    return sim.UsbTransfer(device, kOut, 0, 0, request.data(), static_cast<std::int32_t>(request.size()),
                           &moved, nullptr, kTransferTimeoutMs, nullptr);
  }
  UsbStatus Receive(std::int32_t length) {
    reply.assign(16, 0xEE);
    moved = 99;
    const UsbStatus status = sim.UsbTransfer(device, kIn, 1, 0, reply.data(), length, &moved, nullptr,
                                             kTransferTimeoutMs, nullptr);
    reply.resize(moved);
    return status;
  }

  DispatchQueue queue;
  EventRecorder recorder;
  SimUsbLibrary sim;
  int bridgeId = 0;
  DeviceHandle device = 0;
  std::uint32_t moved = 0;
  std::vector<std::uint8_t> reply;
};

TEST_F(SimUsbTransferTest, ReadWithoutRequestTimesOutAtOnce) {
  EXPECT_EQ(Receive(3), kStatusTimeout);
  EXPECT_EQ(moved, 0u);
}

TEST_F(SimUsbTransferTest, AWholePacketHandsBackWhatWasAskedFor) {
  sim.Bridge().SetRegister(0x07, 0x3C);
  for (const bool padded : {false, true}) {
    sim.SetPadReplies(padded);
    ASSERT_EQ(Send({0x01, 0x5B, 0x07}), kStatusSuccess);
    EXPECT_EQ(Receive(1), kStatusSuccess);
    EXPECT_THAT(reply, ElementsAre(0x00));
    EXPECT_EQ(Receive(3), kStatusTimeout);  // the packet was used up
    ASSERT_EQ(Send({0x01, 0x5B, 0x07}), kStatusSuccess);
    EXPECT_EQ(Receive(16), kStatusSuccess);
    EXPECT_EQ(reply.size(), padded ? 16u : 2u);
    EXPECT_EQ(reply[1], 0x3C);
  }
}

TEST_F(SimUsbTransferTest, ALateReplySitsInThePipeBeforeNewerOnes) {
  sim.Bridge().SetRegister(0x01, 0x11);
  sim.Bridge().SetRegister(0x02, 0x22);
  sim.AnswerNextReadLate();
  ASSERT_EQ(Send({0x01, 0x5B, 0x01}), kStatusSuccess);
  EXPECT_EQ(Receive(3), kStatusTimeout);
  ASSERT_EQ(Send({0x01, 0x5B, 0x02}), kStatusSuccess);
  ASSERT_EQ(Receive(3), kStatusSuccess);
  EXPECT_THAT(reply, ElementsAre(0x00, 0x11));
  ASSERT_EQ(Receive(3), kStatusSuccess);
  EXPECT_THAT(reply, ElementsAre(0x00, 0x22));
}

struct FaultCase {
  std::string name;
  UsbStatus status;
};

class SimUsbTransferFaultTest : public SimUsbTransferTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimUsbTransferFaultTest, FailsOneTransferAndMovesNothing) {
  sim.FailNextTransfer(GetParam().status);
  EXPECT_EQ(Send({0x00, 0x5A, 0x01, 0x55}), GetParam().status);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(sim.Bridge().RequestCount(), 0u);
  EXPECT_EQ(Send({0x00, 0x5A, 0x01, 0x55}), kStatusSuccess);
  EXPECT_EQ(sim.Bridge().Register(0x01), 0x55);
}

INSTANTIATE_TEST_SUITE_P(Statuses, SimUsbTransferFaultTest,
                         ::testing::Values(FaultCase{"IoError", kStatusIoError},
                                           FaultCase{"NoDevice", kStatusNoDevice}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(SimUsbTransferTest, TimeOutNextTransferTimesOutOnlyOnce) {
  sim.TimeOutNextTransfer();
  EXPECT_EQ(Send({0x01, 0x5B, 0x00}), kStatusTimeout);
  EXPECT_EQ(Send({0x01, 0x5B, 0x00}), kStatusSuccess);
}

struct PipeCase {
  std::string name;
  std::uint32_t pipe;
  std::uint32_t read;
  bool nullBuffer;
  UsbStatus expected;
};

class SimUsbTransferPipeTest : public SimUsbTransferTest, public ::testing::WithParamInterface<PipeCase> {};

TEST_P(SimUsbTransferPipeTest, RefusesWhatTheBridgeDoesNotOffer) {
  const PipeCase& c = GetParam();
  std::array<std::uint8_t, 3> buffer{0x01, 0x5B, 0x00};
  moved = 99;
  EXPECT_EQ(sim.UsbTransfer(device, c.pipe, c.read, 0, c.nullBuffer ? nullptr : buffer.data(), 3, &moved,
                            nullptr, kTransferTimeoutMs, nullptr),
            c.expected);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(sim.Bridge().RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimUsbTransferPipeTest,
                         ::testing::Values(PipeCase{"OtherOutPipe", 0x01, 0, false, kStatusPipeNotFound},
                                           PipeCase{"OutPipeRead", 0x02, 1, false, kStatusPipeNotFound},
                                           PipeCase{"InPipeWritten", 0x82, 0, false, kStatusPipeNotFound},
                                           PipeCase{"ControlPipe", 0x00, 0, false, kStatusPipeNotFound},
                                           PipeCase{"NullBuffer", 0x02, 0, true, kStatusInvalidParameter}),
                         [](const ::testing::TestParamInfo<PipeCase>& info) { return info.param.name; });

TEST_F(SimUsbTransferTest, EmptyTransferNeedsNoBuffer) {
  EXPECT_EQ(sim.UsbTransfer(device, kOut, 0, 0, nullptr, 0, &moved, nullptr, 100, nullptr), kStatusSuccess);
  EXPECT_EQ(moved, 0u);
  ASSERT_EQ(Receive(2), kStatusSuccess);  // an empty packet is an unknown request
  EXPECT_THAT(reply, ElementsAre(0x80));
}

TEST_F(SimUsbTransferTest, ChipFaultsReachTheHeldBridgeThroughTransfers) {
  sim.Bridge(bridgeId).SetRegister(0x10, 0x64);
  sim.ForceNextStatusByte(0x80);
  ASSERT_EQ(Send({0x01, 0x5B, 0x10}), kStatusSuccess);
  ASSERT_EQ(Receive(3), kStatusSuccess);
  EXPECT_THAT(reply, ElementsAre(0x80, 0x64));
  sim.ShortenNextReply(1);
  ASSERT_EQ(Send({0x01, 0x5B, 0x10}), kStatusSuccess);
  ASSERT_EQ(Receive(3), kStatusSuccess);
  EXPECT_THAT(reply, ElementsAre(0x00));
}

TEST(SimUsbFaultTargetTest, FaultsGoToTheHeldBridgeNotTheFirstPlugged) {
  DispatchQueue queue;
  EventRecorder recorder;
  SimUsbLibrary sim;
  recorder.decide = [&](DeviceHandle, const DeviceInfo&) { return recorder.attached.size() == 2; };
  const int first = sim.Plug();
  const int second = sim.Plug();
  DriverHandle driver = 0;
  ASSERT_EQ(sim.UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
            kStatusSuccess);
  queue.RunAll();
  ASSERT_EQ(sim.HeldBridge(), second);
  sim.ForceNextStatusByte(0x40);
  sim.Bridge(first).HandleRequest(std::vector<std::uint8_t>{0x01, 0x5B, 0x00});
  sim.Bridge(second).HandleRequest(std::vector<std::uint8_t>{0x01, 0x5B, 0x00});
  EXPECT_THAT(sim.Bridge(first).TakeReply(), ElementsAre(0x00, 0x00));
  EXPECT_THAT(sim.Bridge(second).TakeReply(), ElementsAre(0x40, 0x00));
}

TEST_F(SimUsbTransferTest, HookMayUnplugTheBridgeMidExchange) {
  ASSERT_EQ(Send({0x01, 0x5B, 0x10}), kStatusSuccess);
  int hookRuns = 0;
  sim.OnNextTransfer([&] {
    ++hookRuns;
    sim.Unplug(bridgeId);
  });
  EXPECT_EQ(Receive(3), kStatusNoDevice);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(hookRuns, 1);
  EXPECT_EQ(sim.TransferCount(), 2u);
  EXPECT_EQ(Receive(3), kStatusNoDevice);
  EXPECT_EQ(hookRuns, 1);  // one-shot
  queue.RunAll();
  EXPECT_THAT(recorder.detached, ElementsAre(device));
}

TEST_F(SimUsbTransferTest, HookRunsBeforeTheInjectedFault) {
  sim.FailNextTransfer(kStatusStall);
  bool ran = false;
  sim.OnNextTransfer([&] { ran = true; });
  EXPECT_EQ(Send({0x01, 0x5B, 0x10}), kStatusStall);
  EXPECT_TRUE(ran);
}

TEST_F(SimUsbTransferTest, NullByteCountIsAllowed) {
  std::array<std::uint8_t, 3> request{0x01, 0x5B, 0x10};
  EXPECT_EQ(sim.UsbTransfer(device, kOut, 0, 0, request.data(), 3, nullptr, nullptr, 100, nullptr),
            kStatusSuccess);
  EXPECT_EQ(sim.UsbTransfer(device, kIn, 1, 0, request.data(), 3, nullptr, nullptr, 100, nullptr),
            kStatusSuccess);
  EXPECT_EQ(request[0], 0x00);
}

}  // namespace
}  // namespace regdiag::usb
