// The libusb backend with bridges emulated below libusb, misbehaving as
// bridges on a desk do: driven directly as the window drives it, under the
// real window, and under regdiag-cli as a child process.
#include "emulated_usb.h"  // its GLib headers come before any Qt header

#include <gtest/gtest.h>
#include <libusb.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <condition_variable>
#include <fstream>

#include "backends/libusb/libusb_library.h"
#include "cli_process.h"
#include "support/window_harness.h"
#include "usb_test_support.h"
#include "window/diag_window.h"
#include "window/widgets/wrap_button.h"

namespace regdiag::test {
namespace {

using namespace usb;  // the library's names, in this test only
using Bytes = std::vector<std::uint8_t>;
using Read = std::pair<UsbStatus, Bytes>;

constexpr int kWaitMs = 10000;
// Longer than the test may run: a transfer whose end wakes no waiter hangs.
constexpr std::uint32_t kNever = 3'600'000;

// Waits as the window does, but first runs `meanwhile` once: what the window
// thread does while a transfer waits; false gives the transfer up.
struct TestWaiter final : TransferWaiter {
  std::function<bool()> meanwhile;
  std::mutex mutex;
  std::condition_variable woken;
  bool WaitUntil(const std::function<bool()>& ended,
                 std::chrono::steady_clock::time_point deadline) override {
    if (meanwhile && !std::exchange(meanwhile, nullptr)()) return false;
    std::unique_lock lock(mutex);
    woken.wait_until(lock, deadline, ended);
    return true;
  }
  void Wake() override {
    std::lock_guard lock(mutex);
    woken.notify_all();
  }
};

class EmulatedTest : public ::testing::Test {
 protected:
  // --- The backend driven directly; this thread plays the window thread.
  void StartLibrary(LibusbOptions options = {}) {
    library.emplace(options);
    recorder.decide = [this](DeviceHandle device, const DeviceInfo&) {
      if (picky || (held != 0 && std::ranges::count(recorder.detached, held) == 0)) return false;
      held = device;
      return true;
    };
    ASSERT_EQ(library->UsbInit(&driver, std::vector{testing::kBridgeMatch}, recorder.Table(), 0,
                               queue.dispatcher()),
              kStatusSuccess);
  }
  // Serves the library's notifications until `done` holds; false after ten seconds.
  bool ServeUntil(const std::function<bool()>& done) {
    return QTest::qWaitFor([&] { return queue.RunAll() >= 0 && done(); }, kWaitMs);
  }
  void ExpectAttached(const std::vector<DeviceHandle>& expected) {
    ServeUntil([&] { return recorder.attached == expected; });
    EXPECT_EQ(recorder.attached, expected);
  }
  // A transfer with the bridge held: the bytes of `data` go out, or as many
  // come in, and the bytes moved come back.
  Read Transfer(std::uint32_t pipe, Bytes data, std::uint32_t timeoutMs = kNever) {
    std::uint32_t moved = 0;
    const UsbStatus status = library->UsbTransfer(held, pipe, pipe >> 7, 0, data.data(), std::ssize(data),
                                                  &moved, nullptr, timeoutMs, &waiter);
    data.resize(moved);
    return {status, data};
  }
  // Asks for register `address` and reads three bytes of the reply.
  Read Exchange(std::uint8_t address) {
    EXPECT_EQ(Transfer(0x02, {0x01, 0x5B, address}).first, kStatusSuccess);
    return Transfer(0x82, Bytes(3));
  }
  // --- The real window on the backend.
  void StartWindow(LibusbOptions options = {}) {
    library.emplace(options);
    std::ofstream(dir.filePath(QStringLiteral("tabdefs.csv")).toStdString()) << SmallMap();
    window = std::make_unique<DiagWindow>(*library, dir.path().toStdString());
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("detected.") != std::string::npos; }, kWaitMs));
  }
  [[nodiscard]] const std::string& Log() const { return window->LogContents(); }
  // What the log gains from `act`, once it holds `until` or ten seconds have passed.
  std::string After(const std::function<void()>& act, const std::string& until = "") {
    const std::size_t mark = Log().size();
    act();
    static_cast<void>(QTest::qWaitFor([&] { return Log().find(until, mark) != std::string::npos; }, kWaitMs));
    return Log().substr(mark);
  }
  std::string ReadRow(std::int16_t row) {
    return After([&] { window->cbRead_Click(row); });
  }
  void Set(int bridge, std::uint8_t address, std::uint8_t value, std::optional<Fault> fault = {}) {
    usb.With(bridge, [&](Bridge& b) {
      b.chip.SetRegister(address, value);
      if (fault) b.faults.insert(*fault);
    });
  }

  EmulatedUsb usb;  // before libusb starts, gone after it
  testing::DispatchQueue queue;
  testing::EventRecorder recorder;
  TestWaiter waiter;
  std::optional<LibusbLibrary> library;
  DriverHandle driver = 0;
  DeviceHandle held = 0;  // the bridge the attach handler took last
  bool picky = false;     // the attach handler declines every bridge
  QTemporaryDir dir;
  MessageBoxCatcher messages;
  std::unique_ptr<DiagWindow> window;
};

const std::string kRead00 = "Reading register 0x00 = 0x17 successful\r\n",
                  kFailed = " failed: USB transfer error\r\n";
const std::string kRead01 = "Reading register 0x01 = 0x42 successful\r\n", kOwn = kRead01 + kRead00 + kRead01;

// How the window thread ends the wait for a read.
enum class Interrupt { None, GiveUp, Unplug, EndSession };

struct FaultCase {
  const char* name;
  Fault fault;                            // on the reply from register 0x01, which holds 0x42
  std::vector<Read> reads;                // of that reply; one that times out waits 100 ms
  Interrupt interrupt = Interrupt::None;  // of the first read, which then waits on
  // When set, the window reads rows 1, 0 and 1 (0x01, 0x00 with 0x17, 0x01)
  // instead, the fault set before the bridge is claimed, and logs this.
  std::string window = {};
};

class FaultyReplyTest : public EmulatedTest, public ::testing::WithParamInterface<FaultCase> {};

// Each read gets what the bridge sent and no more: while the bridge and the
// session last, the next exchange gets its own reply, so the halt, the read
// given up or the late reply that the fault left behind does not reach it.
TEST_P(FaultyReplyTest, EachReadGetsWhatTheBridgeSentAndNoMore) {
  const FaultCase& c = GetParam();
  usb.Plug();
  Set(0, 0x01, 0x42, c.fault);
  if (!c.window.empty()) {  // a fault of the order of replies: no value but the register's own is shown
    Set(0, 0x00, 0x17);
    StartWindow({.transferTimeoutCapMs = 100});
    std::string log = ReadRow(1);
    log += ReadRow(0);
    EXPECT_EQ(log + ReadRow(1), c.window);
    return;
  }
  StartLibrary();
  ExpectAttached({1});
  Set(0, 0x02, 0x17);
  ASSERT_EQ(Transfer(0x02, {0x01, 0x5B, 0x01}).first, kStatusSuccess);
  waiter.meanwhile = [&] {
    if (c.interrupt == Interrupt::Unplug) {  // and the window handles the detach
      usb.Unplug(0);
      EXPECT_TRUE(ServeUntil([&] { return !recorder.detached.empty(); }));
    } else if (c.interrupt == Interrupt::EndSession) {
      library->UsbUninit(driver);
    }
    return c.interrupt != Interrupt::GiveUp;
  };
  for (const Read& read : c.reads) {
    EXPECT_EQ(Transfer(0x82, Bytes(3), read.first == kStatusTimeout ? 100 : kNever), read);
  }
  if (c.interrupt == Interrupt::None || c.interrupt == Interrupt::GiveUp) {
    EXPECT_EQ(Exchange(0x02), Read(kStatusSuccess, {0x00, 0x17}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyReplyTest,
    ::testing::Values(
        FaultCase{"Stall", Fault::Stall, {{kStatusStall, {}}, {kStatusSuccess, {0x00, 0x42}}}},
        FaultCase{"NoReply", Fault::Hang, {{kStatusTimeout, {}}}},
        FaultCase{"LateReply", Fault::Late, {{kStatusTimeout, {}}, {kStatusSuccess, {0x00, 0x42}}}},
        FaultCase{"PaddedTo64Bytes", Fault::Pad, {{kStatusSuccess, {0x00, 0x42, 0x00}}}},
        FaultCase{"StatusByteAloneNoAcknowledge", Fault::NoAck, {{kStatusSuccess, {0x40}}}},
        FaultCase{"StatusByteAloneSuccess", Fault::StatusOnly, {{kStatusSuccess, {0x00}}}},
        FaultCase{"HungReplyGivenUp", Fault::Hang, {{kStatusCancelled, {}}}, Interrupt::GiveUp},
        FaultCase{"HungReplyOfABridgeUnplugged", Fault::Hang, {{kStatusNoDevice, {}}}, Interrupt::Unplug},
        FaultCase{"HungReplySessionEnded", Fault::Hang, {{kStatusCancelled, {}}}, Interrupt::EndSession},
        // Drained as the bridge is claimed, before the first request.
        FaultCase{"ReplyWaitingAtClaim", Fault::Waiting, {}, Interrupt::None, kOwn},
        // The status byte says success, the value byte comes in a packet of its
        // own: no answer, and drained before the next request.
        FaultCase{"ValueByteInASecondPacket",
                  Fault::Split,
                  {},
                  Interrupt::None,
                  "Reading register 0x01" + kFailed + kRead00 + kRead01},
        // After the time-out and the drain, 0x01's reply comes ahead of 0x00's:
        // the read that follows a reply in the watch finds the second.
        FaultCase{"ReplyAfterTheDrain",
                  Fault::AfterDrain,
                  {},
                  Interrupt::None,
                  PipeFailed("Read", "20000007 (The transfer timed out)") + "Reading register 0x01" +
                      kFailed + "Reading register 0x00" + kFailed + kRead01},
        // The zero-length packet after a full one is no reply to the next request.
        FaultCase{"PaddedReplyThenAZeroLengthPacket", Fault::ZeroLength, {}, Interrupt::None, kOwn}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(EmulatedTest, DeclinedBridgesAreOfferedAgainOldestFirstOnceForEachDeparture) {
  StartLibrary();
  for (int bridge = 0; bridge < 3; ++bridge) usb.Plug();
  ExpectAttached({1, 2, 3});
  // The bridges declined are let go while aside.
  EXPECT_EQ(usb.With(1, [](Bridge& b) { return b.calls[USBDEVFS_RELEASEINTERFACE]; }), 1);

  picky = true;  // each bridge aside is offered once, oldest first, and declined
  usb.Unplug(0);
  ExpectAttached({1, 2, 3, 2, 3});
  picky = false;
  usb.Plug();
  ExpectAttached({1, 2, 3, 2, 3, 4});
  usb.Unplug(3);
  ExpectAttached({1, 2, 3, 2, 3, 4, 2});
  EXPECT_EQ(recorder.detached, (std::vector<DeviceHandle>{1, 4}));
  Set(1, 0x05, 0x5C);
  EXPECT_EQ(Exchange(0x05), Read(kStatusSuccess, {0x00, 0x5C}));
  EXPECT_EQ(library->UsbSetInterface(2, 0, 1), kStatusNoSuchInterface);  // and keeps its one setting
  EXPECT_EQ(library->UsbSetInterface(2, 0, 0), kStatusSuccess);
}

// Where hot-plug is missing, enumeration sees bridges come and go alike.
TEST_F(EmulatedTest, PollingSeesBridgesArriveAndLeave) {
  StartLibrary({.pollPeriodMs = 20, .forcePolling = true});
  usb.Plug();
  ExpectAttached({1});
  usb.Plug();
  ExpectAttached({1, 2});
  usb.Unplug(0);  // the bridge held: the one declined is offered again
  ExpectAttached({1, 2, 2});
  EXPECT_EQ(recorder.detached, (std::vector<DeviceHandle>{1}));
  Set(1, 0x05, 0x5C);
  EXPECT_EQ(Exchange(0x05), Read(kStatusSuccess, {0x00, 0x5C}));
}

// What the bridge lacks is refused as the kernel refuses it.
TEST_F(EmulatedTest, OnlyTheInterfaceAndEndpointsOfTheDescriptorsExist) {
  usb.Plug();
  ASSERT_EQ(libusb_init(nullptr), LIBUSB_SUCCESS);  // straight through libusb
  libusb_device_handle* handle = libusb_open_device_with_vid_pid(nullptr, 0x4B7C, 0x2005);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(libusb_claim_interface(handle, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_SUCCESS);
  EXPECT_EQ(libusb_set_interface_alt_setting(handle, 0, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_bulk_transfer(handle, 0x83, nullptr, 0, nullptr, 100), LIBUSB_ERROR_IO);  // ENOENT
  EXPECT_EQ(libusb_clear_halt(handle, 0x81), LIBUSB_ERROR_NOT_FOUND);
  libusb_close(handle);
  libusb_exit(nullptr);
}

std::string Offered(const std::string& handle) { return kAttach + "device handle &H" + handle + "\r\n"; }
std::string Attached(const std::string& handle) { return Offered(handle) + kAccepting; }

TEST_F(EmulatedTest, BridgeAtStartIsUsedThenUnpluggedAndPluggedAgain) {
  usb.Plug();
  StartWindow({.transferTimeoutCapMs = 1000});
  EXPECT_EQ(Log(), "USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n");
  EXPECT_EQ(usb.With(0, [](Bridge& b) { return b.calls[USBDEVFS_CLAIMINTERFACE]; }), 1);
  Set(0, 0x01, 0x42);
  Set(0, 0x00, 0x11, Fault::Late);  // its reply comes after the read timed out: drained, never taken
  EXPECT_EQ(ReadRow(0), PipeFailed("Read", "20000007 (The transfer timed out)") +
                            "Reading register 0x00 failed: USB transfer error\r\n");
  EXPECT_EQ(ReadRow(1), "Reading register 0x01 = 0x42 successful\r\n");
  Set(0, 0x01, 0x43, Fault::Pad);  // the reply fills a whole packet
  EXPECT_EQ(ReadRow(1), "Reading register 0x01 = 0x43 successful\r\n");
  Set(0, 0x01, 0x44, Fault::NoAck);  // the status byte alone
  EXPECT_EQ(ReadRow(1),
            "Reading register 0x01 failed: No ACK from QRV4417. Check power and connections.\r\n");

  // A second bridge is declined while the first is held, and taken when it leaves.
  EXPECT_EQ(After([&] { usb.Plug(); }, "Rejecting"), Offered("2") + kRejected);
  EXPECT_EQ(After([&] { usb.Unplug(0); }, "Accepting"),
            "DeviceDetach: Received detach for device handle &H1\r\n" + Attached("2"));
  Set(1, 0x01, 0x24);
  EXPECT_EQ(ReadRow(1), "Reading register 0x01 = 0x24 successful\r\n");
  EXPECT_EQ(After([&] { usb.Unplug(1); }, "&H2"), "DeviceDetach: Received detach for device handle &H2\r\n");
  EXPECT_EQ(ReadRow(0), kNotDetected);
  EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("USB Device not connected!")});

  EXPECT_EQ(After([&] { usb.Plug(false); }, "Accepting"), Attached("3"));  // a bridge without endpoints
  EXPECT_EQ(ReadRow(1), kNoPipes + "Reading register 0x01 failed: USB transfer error\r\n");
}

// Plugged in after the start, a bridge that cannot be opened is named once
// and taken as soon as its permissions are mended; one whose interface
// another program holds is named.
TEST_F(EmulatedTest, BridgesThatCannotBeTakenUpAreNamed) {
  StartWindow({.openRetryWindowMs = 50, .reopenPeriodMs = 100});  // few failed opens: each costs a slot
  usb.Plug(true, false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("permission denied") != std::string::npos; }, kWaitMs));
  QTest::qWait(300);  // a few more attempts to open it
  usb.MakeOpenable(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().ends_with(Attached("1")); }, kWaitMs)) << Log();
  EXPECT_EQ(
      Log(),
      "Initializing driver for USB-to-I2C interface...\r\nUSB-to-I2C driver initialization successful.\r\n"
      "Searching for USB-to-I2C interface...\r\n" +
          kNotDetected +
          "USB-to-I2C interface found (bus 1, device 2) but it cannot be opened: permission denied.\r\n"
          "Install the udev rule 70-regdiag.rules as shown in the README; the bridge is taken up as "
          "soon as it can be opened, without replugging.\r\n" +
          Attached("1"));
  EXPECT_EQ(After([&] { usb.With(usb.Plug(), [](Bridge& b) { b.faults.insert(Fault::Busy); }); }, "claimed"),
            "USB-to-I2C interface found (bus 1, device 3) but its interface cannot be claimed: The device is "
            "busy: another program is using it.\r\n");
}

// Quit while the reply hangs (the real 30 s time-out): the transfer is taken
// back and the window goes at once, writing nothing more.
TEST_F(EmulatedTest, QuitEndsAHungTransfer) {
  usb.Plug();
  StartWindow();
  Set(0, 0x01, 0x42, Fault::Hang);
  QTimer::singleShot(100, window.get(), [this] { QTest::mouseClick(FindControls(*window).cbQuit, Qt::LeftButton); });
  EXPECT_EQ(ReadRow(1), "");
  EXPECT_TRUE(window->Unloaded());
  // The drain as the bridge was claimed ran out its wait, then the hung read was taken back.
  EXPECT_EQ(usb.With(0, [](Bridge& b) { return b.calls[USBDEVFS_DISCARDURB]; }), 2);
}

// Commands reach the register file through libusb, and a bridge that has
// gone is reported as missing.
TEST_F(EmulatedTest, CommandLineReachesTheRegisterFile) {
  usb.Plug();
  Set(0, 0x01, 0x12);
  // What regdiag-cli wrote to its standard output and error.
  const auto run = [&](const std::vector<std::string>& args, int status = 0) {
    const CliProcess cli(dir.path().toStdString(), args);
    EXPECT_EQ(cli.Wait(), status);
    return cli.Out() + cli.Err();
  };
  EXPECT_EQ(run({"read", "SYS_CTRL", "2"}), "0x01 SYS_CTRL 0x12\n0x02 INT_STATUS 0x00\n");
  EXPECT_EQ(run({"write", "SYS_CTRL", "0x5A", "--verify"}), "");
  EXPECT_EQ(run({"watch", "1", "--count", "1"}), "0x01 SYS_CTRL 0x5A\n");
  usb.Unplug(0);
  EXPECT_EQ(run({"read", "1"}, 1),
            "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n");
}

}  // namespace
}  // namespace regdiag::test

// Runs through umockdev-wrapper, which brings in umockdev's preload library.
int main(int argc, char** argv) {
  const QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
