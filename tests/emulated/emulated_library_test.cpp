// The libusb backend driven directly, with bridges emulated where the kernel
// meets libusb, misbehaving as bridges on a desk do. Runs under
// umockdev-wrapper (umockdev's preload library).
#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "emulated_bridge.h"
#include "link/usb_lib/libusb_library.h"
#include "usb_test_support.h"

namespace regdiag::usb {
namespace {

using test::EmulatedUsb;
using test::Fault;
using testing::DispatchQueue;
using testing::EventRecorder;
using testing::kBridgeMatch;
using Bytes = std::vector<std::uint8_t>;
using Handles = std::vector<DeviceHandle>;

constexpr std::uint32_t kLong = kTransferTimeoutMs;
// Longer than the test may run: a read that waits it out fails the test.
constexpr std::uint32_t kNever = 3'600'000;

// Waits as the window does, but tests `ended` only when the library wakes
// it: a transfer whose end wakes no one runs into the deadline. What it does
// while the first transfer waits is the test's choice.
class TestWaiter final : public TransferWaiter {
 public:
  std::function<bool()> whileWaiting;  // false: give the transfer up

  bool WaitUntil(const std::function<bool()>& ended,
                 std::chrono::steady_clock::time_point deadline) override {
    if (const auto once = std::exchange(whileWaiting, nullptr); once && !once()) {
      return false;
    }
    std::unique_lock lock(mutex_);
    woken_.wait_until(lock, deadline, ended);
    return true;
  }
  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
};

class EmulatedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EmulatedUsb::InMockEnvironment()) << "run this under umockdev-wrapper";
  }

  void Start(LibusbOptions options = {}) {
    library.emplace(options);
    recorder.decide = [this](DeviceHandle device, const DeviceInfo&) {
      if (picky || Held() != 0) {
        return false;
      }
      accepted.push_back(device);
      return true;
    };
    ASSERT_EQ(library->UsbInit(&driver, std::vector{kBridgeMatch}, recorder.Table(), 0, queue.dispatcher()),
              kStatusSuccess);
  }
  // The window thread's part: serves the library's notifications until
  // `done` holds; false after ten seconds.
  bool ServeUntil(const std::function<bool()>& done) {
    for (int round = 0; round < 2000; ++round) {
      queue.RunAll();
      if (done()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  ::testing::AssertionResult ServeUntilAttached(const Handles& expected) {
    if (ServeUntil([&] { return recorder.attached == expected; })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "attached: " << ::testing::PrintToString(recorder.attached);
  }
  [[nodiscard]] DeviceHandle Held() const {
    const bool gone = accepted.empty() || std::ranges::count(recorder.detached, accepted.back()) != 0;
    return gone ? 0 : accepted.back();
  }
  UsbStatus Transfer(std::uint32_t pipe, Bytes& data, std::uint32_t timeoutMs) {
    std::uint32_t moved = 0;
    const UsbStatus status =
        library->UsbTransfer(Held(), pipe, (pipe & 0x80) != 0 ? 1 : 0, 0, data.data(),
                             static_cast<std::int32_t>(data.size()), &moved, nullptr, timeoutMs, &waiter);
    data.resize(moved);
    return status;
  }
  // Reads register `address` of the held bridge; returns the reply.
  Bytes Exchange(std::uint8_t address) {
    Bytes request{0x01, 0x5B, address};
    Bytes reply(3, 0xEE);
    EXPECT_EQ(Transfer(0x02, request, kLong), kStatusSuccess);
    EXPECT_EQ(Transfer(0x82, reply, kLong), kStatusSuccess);
    return reply;
  }

  EmulatedUsb usb;  // before libusb starts, gone after it
  DispatchQueue queue;
  EventRecorder recorder;
  TestWaiter waiter;
  std::optional<LibusbLibrary> library;
  DriverHandle driver = 0;
  Handles accepted;
  bool picky = false;  // the attach handler declines every bridge
};

// --- Exchanges with a misbehaving bridge ----------------------------------

// How the test ends the wait of a read.
enum class Interrupt { None, GiveUp, Unplug, EndSession };

struct Read {
  std::uint32_t timeoutMs;
  UsbStatus status;
  Bytes reply;  // of the 3 bytes asked for
  Interrupt interrupt = Interrupt::None;
};

struct ExchangeCase {
  const char* name;
  std::optional<Fault> fault;  // on the read request for register 0x01, which holds 0x42
  std::vector<Read> reads;     // of its reply; a sound exchange with register 0x02 follows
};

void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

class MisbehavingBridgeTest : public EmulatedLibraryTest,
                              public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(MisbehavingBridgeTest, EachReadGetsWhatTheBridgeSentAndNoMore) {
  const ExchangeCase& c = GetParam();
  const int bridge = usb.Plug();
  Start();
  ASSERT_TRUE(ServeUntilAttached({1}));
  usb.Device(bridge).WithBridge([](VirtualBridge& chip) {
    chip.SetRegister(0x01, 0x42);
    chip.SetRegister(0x02, 0x17);
  });
  if (c.fault) {
    usb.Device(bridge).InjectNext(*c.fault);
  }
  Bytes request{0x01, 0x5B, 0x01};
  ASSERT_EQ(Transfer(0x02, request, kLong), kStatusSuccess);
  for (const Read& read : c.reads) {
    waiter.whileWaiting = [&] {
      switch (read.interrupt) {
        case Interrupt::None:
          break;
        case Interrupt::GiveUp:
          return false;
        case Interrupt::Unplug:  // and the window handles the detach meanwhile
          usb.Unplug(bridge);
          EXPECT_TRUE(ServeUntil([&] { return !recorder.detached.empty(); }));
          break;
        case Interrupt::EndSession:
          library->UsbUninit(driver);
          break;
      }
      return true;
    };
    Bytes reply(3, 0xEE);
    EXPECT_EQ(Transfer(0x82, reply, read.timeoutMs), read.status);
    EXPECT_EQ(reply, read.reply);
  }
  if (c.reads.back().interrupt == Interrupt::None || c.reads.back().interrupt == Interrupt::GiveUp) {
    EXPECT_EQ(Exchange(0x02), (Bytes{0x00, 0x17}));  // nothing of the earlier exchange is left over
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MisbehavingBridgeTest,
    ::testing::Values(
        ExchangeCase{"SoundReply", std::nullopt, {{kLong, kStatusSuccess, {0x00, 0x42}}}},
        ExchangeCase{"PaddedReply", Fault::Pad, {{kLong, kStatusSuccess, {0x00, 0x42, 0x00}}}},
        ExchangeCase{"StatusOnlyReply", Fault::StatusOnly, {{kLong, kStatusSuccess, {0x40}}}},
        ExchangeCase{
            "LateReplyStaysInThePipeUntilDrained",
            Fault::Late,
            {{100, kStatusTimeout, {}}, {10, kStatusSuccess, {0x00, 0x42}}, {10, kStatusTimeout, {}}}},
        ExchangeCase{"HungReplyGivenUp", Fault::Hang, {{kNever, kStatusCancelled, {}, Interrupt::GiveUp}}},
        ExchangeCase{
            "HungReplyOfABridgeUnplugged", Fault::Hang, {{kNever, kStatusNoDevice, {}, Interrupt::Unplug}}},
        ExchangeCase{"HungReplyWhenTheSessionEnds",
                     Fault::Hang,
                     {{kNever, kStatusCancelled, {}, Interrupt::EndSession}}}),
    [](const ::testing::TestParamInfo<ExchangeCase>& info) { return std::string(info.param.name); });

// --- Bridges set aside ------------------------------------------------------

TEST_F(EmulatedLibraryTest, DeclinedBridgesAreOfferedAgainOldestFirstOnceForEachDeparture) {
  Start();
  const int first = usb.Plug();
  ASSERT_TRUE(ServeUntilAttached({1}));
  const int second = usb.Plug();
  ASSERT_TRUE(ServeUntilAttached({1, 2}));
  usb.Plug();
  ASSERT_TRUE(ServeUntilAttached({1, 2, 3}));
  EXPECT_EQ(usb.Device(second).Record().releases, 1);  // let go while aside

  picky = true;  // each bridge aside is offered once, oldest first, and declined
  usb.Unplug(first);
  ASSERT_TRUE(ServeUntilAttached({1, 2, 3, 2, 3}));
  picky = false;
  const int fourth = usb.Plug();
  ASSERT_TRUE(ServeUntilAttached({1, 2, 3, 2, 3, 4}));

  usb.Unplug(fourth);
  ASSERT_TRUE(ServeUntilAttached({1, 2, 3, 2, 3, 4, 2}));
  EXPECT_EQ(recorder.detached, (Handles{1, 4}));
  EXPECT_EQ(Held(), 2u);
  usb.Device(second).WithBridge([](VirtualBridge& chip) { chip.SetRegister(0x05, 0x5C); });
  EXPECT_EQ(Exchange(0x05), (Bytes{0x00, 0x5C}));
}

TEST_F(EmulatedLibraryTest, BridgeWhosePermissionsAreMendedWhilePluggedInIsOpenedAndOffered) {
  if (const std::string problem = EmulatedUsb::UnopenableProblem(); !problem.empty()) {
    GTEST_SKIP() << problem;
  }
  LibusbOptions options;
  // Few attempts: each failed open of a node costs umockdev's preload one of
  // its 50 slots for the whole program.
  options.openRetryWindowMs = 50;
  options.reopenPeriodMs = 50;
  Start(options);
  test::BridgeShape shape;
  shape.openable = false;
  const int bridge = usb.Plug(shape);
  ASSERT_TRUE(ServeUntil([&] { return !recorder.notices.empty(); }));
  EXPECT_NE(recorder.notices[0].find("permission denied"), std::string::npos) << recorder.notices[0];
  const auto retries = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);  // about four
  ServeUntil([&] { return std::chrono::steady_clock::now() >= retries; });

  usb.MakeOpenable(bridge);
  ASSERT_TRUE(ServeUntilAttached({1}));
  EXPECT_EQ(recorder.notices.size(), 1u);  // once for the plug-in, not for every retry
  usb.Device(bridge).WithBridge([](VirtualBridge& chip) { chip.SetRegister(0x03, 0x9A); });
  EXPECT_EQ(Exchange(0x03), (Bytes{0x00, 0x9A}));
}

// --- The emulated bridge is as strict as the kernel ---------------------------

TEST_F(EmulatedLibraryTest, OnlyTheInterfaceAndEndpointsOfTheDescriptorsExist) {
  usb.Plug();
  Start();
  ASSERT_TRUE(ServeUntilAttached({1}));
  EXPECT_EQ(library->UsbSetInterface(1, 0, 1), kStatusNoSuchInterface);  // connected all the same
  EXPECT_EQ(library->UsbSetInterface(1, 0, 0), kStatusSuccess);

  // A second opener, straight through libusb, asks for what the bridge lacks.
  libusb_context* context = nullptr;
  ASSERT_EQ(libusb_init(&context), LIBUSB_SUCCESS);
  libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, 0x4B7C, 0x2005);
  ASSERT_NE(handle, nullptr);
  unsigned char byte = 0;
  int moved = 0;
  EXPECT_EQ(libusb_claim_interface(handle, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_SUCCESS);
  EXPECT_EQ(libusb_set_interface_alt_setting(handle, 0, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_bulk_transfer(handle, 0x83, &byte, 1, &moved, 100), LIBUSB_ERROR_IO);  // ENOENT
  EXPECT_EQ(libusb_clear_halt(handle, 0x81), LIBUSB_ERROR_NOT_FOUND);
  libusb_close(handle);
  libusb_exit(context);
}

}  // namespace
}  // namespace regdiag::usb
