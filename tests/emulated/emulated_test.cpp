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

#include "cli_process.h"
#include "link/device_context.h"
#include "link/usb_lib/libusb_library.h"
#include "support/window_harness.h"
#include "usb_test_support.h"
#include "window/diag_window.h"
#include "window/hex_entry_box.h"
#include "window/wrap_button.h"

namespace regdiag::test {
namespace {

using namespace usb;  // NOLINT: the library's names, in this test only
using Bytes = std::vector<std::uint8_t>;
using Handles = std::vector<DeviceHandle>;
using Read = std::pair<UsbStatus, Bytes>;

constexpr int kWaitMs = 10000;
// Longer than the test may run: a transfer whose end wakes no waiter hangs.
constexpr std::uint32_t kNever = 3'600'000;

// Waits as the window does, but first runs `meanwhile` once: what the window
// thread does while the transfer waits; false gives the transfer up.
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
  void StartLibrary() {
    library.emplace();
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
  void ExpectAttached(const Handles& expected) {
    ServeUntil([&] { return recorder.attached == expected; });
    EXPECT_EQ(recorder.attached, expected);
  }
  // Asks the bridge held for register `address`, then reads three bytes of its reply.
  void Send(std::uint8_t address) {
    Bytes request{0x01, 0x5B, address};
    EXPECT_EQ(library->UsbTransfer(held, 0x02, 0, 0, request.data(), 3, nullptr, nullptr, kNever, &waiter),
              kStatusSuccess);
  }
  Read Receive() {
    Bytes reply(3, 0xEE);
    std::uint32_t moved = 0;
    const UsbStatus status =
        library->UsbTransfer(held, 0x82, 1, 0, reply.data(), 3, &moved, nullptr, kNever, &waiter);
    reply.resize(moved);
    return {status, reply};
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
  void Mark() { mark = Log().size(); }
  // The log since the mark, once it holds `text` or ten seconds have passed.
  std::string WaitFor(const std::string& text) {
    static_cast<void>(QTest::qWaitFor([&] { return Log().find(text, mark) != std::string::npos; }, kWaitMs));
    return Log().substr(mark);
  }
  // What the log gains from a click on a row's read or write button.
  std::string Click(void (DiagWindow::*button)(std::int16_t), std::int16_t row) {
    Mark();
    (window.get()->*button)(row);
    return Log().substr(mark);
  }

  void Set(int bridge, std::uint8_t address, std::uint8_t value, std::optional<Fault> fault = {}) {
    usb.With(bridge, [&](Bridge& b) {
      b.chip.SetRegister(address, value);
      if (fault) b.faults.insert(*fault);
    });
  }
  int Calls(int bridge, unsigned long request) {
    return usb.With(bridge, [&](Bridge& b) { return b.calls[request]; });
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
  std::size_t mark = 0;
};

// --- The backend ------------------------------------------------------------

// How the window thread ends the wait for a reply that never comes.
enum class Interrupt { GiveUp, Unplug, EndSession };

class HungReplyTest : public EmulatedTest,
                      public ::testing::WithParamInterface<std::pair<Interrupt, UsbStatus>> {};

TEST_P(HungReplyTest, EndsTheReadWhenTheWaitIsInterrupted) {
  const auto [interrupt, status] = GetParam();
  usb.Plug();
  StartLibrary();
  ExpectAttached({1});
  usb.With(0, [](Bridge& b) { b.faults.insert(Fault::Hang); });
  Send(0x01);
  waiter.meanwhile = [&, interrupt] {
    if (interrupt == Interrupt::Unplug) {  // and the window handles the detach
      usb.Unplug(0);
      EXPECT_TRUE(ServeUntil([&] { return !recorder.detached.empty(); }));
    } else if (interrupt == Interrupt::EndSession) {
      library->UsbUninit(driver);
    }
    return interrupt != Interrupt::GiveUp;
  };
  EXPECT_EQ(Receive(), Read(status, {}));
}

INSTANTIATE_TEST_SUITE_P(Interrupts, HungReplyTest,
                         ::testing::Values(std::pair{Interrupt::GiveUp, kStatusCancelled},
                                           std::pair{Interrupt::Unplug, kStatusNoDevice},
                                           std::pair{Interrupt::EndSession, kStatusCancelled}));

TEST_F(EmulatedTest, DeclinedBridgesAreOfferedAgainOldestFirstOnceForEachDeparture) {
  StartLibrary();
  usb.Plug();
  ExpectAttached({1});
  usb.Plug();
  ExpectAttached({1, 2});
  usb.Plug();
  ExpectAttached({1, 2, 3});
  EXPECT_EQ(Calls(1, USBDEVFS_RELEASEINTERFACE), 1);  // let go while aside

  picky = true;  // each bridge aside is offered once, oldest first, and declined
  usb.Unplug(0);
  ExpectAttached({1, 2, 3, 2, 3});
  picky = false;
  usb.Plug();
  ExpectAttached({1, 2, 3, 2, 3, 4});
  usb.Unplug(3);
  ExpectAttached({1, 2, 3, 2, 3, 4, 2});
  EXPECT_EQ(recorder.detached, (Handles{1, 4}));
  Set(1, 0x05, 0x5C);
  Send(0x05);
  EXPECT_EQ(Receive(), Read(kStatusSuccess, {0x00, 0x5C}));
}

// What the bridge lacks is refused as the kernel refuses it; a reply padded
// to a full packet still fits a read, which gets what it asked for.
TEST_F(EmulatedTest, OnlyTheInterfaceAndEndpointsOfTheDescriptorsExist) {
  usb.Plug();
  StartLibrary();
  ExpectAttached({1});
  Set(0, 0x01, 0x42, Fault::Pad);
  Send(0x01);
  EXPECT_EQ(Receive(), Read(kStatusSuccess, {0x00, 0x42, 0x00}));

  libusb_context* context = nullptr;  // a second opener, straight through libusb
  ASSERT_EQ(libusb_init(&context), LIBUSB_SUCCESS);
  libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, 0x4B7C, 0x2005);
  ASSERT_NE(handle, nullptr);
  unsigned char byte = 0;
  EXPECT_EQ(libusb_claim_interface(handle, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_SUCCESS);
  EXPECT_EQ(libusb_set_interface_alt_setting(handle, 0, 1), LIBUSB_ERROR_NOT_FOUND);
  EXPECT_EQ(libusb_bulk_transfer(handle, 0x83, &byte, 1, nullptr, 100), LIBUSB_ERROR_IO);  // ENOENT
  EXPECT_EQ(libusb_clear_halt(handle, 0x81), LIBUSB_ERROR_NOT_FOUND);
  libusb_close(handle);
  libusb_exit(context);
}

// --- The window -------------------------------------------------------------

const std::string kNotDetected = "USB-to-I2C interface not detected. Please check connections.\r\n";
const std::string kFailed = "Reading register 0x00 failed: USB transfer error\r\n";

std::string Attached(const std::string& handle) {
  return "DeviceAttach: Received attach for \r\nvendor ID &H4B7C product ID &H2005\r\ndevice handle &H" +
         handle + "\r\nDeviceAttach: Accepting control of the device\r\n\r\n";
}

TEST_F(EmulatedTest, BridgeAtStartIsUsedThenUnpluggedAndPluggedAgain) {
  usb.Plug();
  StartWindow();
  EXPECT_EQ(Log(), "USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n");
  EXPECT_TRUE(DeviceConnected);
  EXPECT_EQ(Calls(0, USBDEVFS_CLAIMINTERFACE), 1);
  Set(0, 0x01, 0x42);
  EXPECT_EQ(Click(&DiagWindow::cbRead_Click, 1), "Reading register 0x01 = 0x42 successful\r\n");
  Set(0, 0x01, 0x00);  // the row still shows 42
  EXPECT_EQ(Click(&DiagWindow::cbWrite_Click, 1), "Writing register 0x01 = 0x42 successful\r\n");
  EXPECT_EQ(usb.With(0, [](Bridge& b) { return b.chip.Register(0x01); }), 0x42);

  Mark();
  usb.Unplug(0);
  EXPECT_EQ(WaitFor("DeviceDetach"), "DeviceDetach: Received detach for device handle &H1\r\n");
  EXPECT_FALSE(DeviceConnected);
  messages.Clear();
  EXPECT_EQ(Click(&DiagWindow::cbRead_Click, 0), kNotDetected);
  EXPECT_EQ(messages.Texts(), QStringList{QStringLiteral("USB Device not connected!")});

  Mark();
  usb.Plug(false);  // this one has no endpoints: no request goes out
  EXPECT_EQ(WaitFor("Accepting"), Attached("2"));
  const std::string noPipes =
      "  No pipes are defined for this device \r\nother than the default pipe (number 0)\r\nWrite Pipe "
      "failed\r\n";
  EXPECT_EQ(Click(&DiagWindow::cbRead_Click, 1),
            noPipes + "Reading register 0x01 failed: USB transfer error\r\n");
  EXPECT_EQ(Click(&DiagWindow::cbWrite_Click, 1),
            noPipes + "Writing register 0x01 failed: USB transfer error\r\n");
  EXPECT_EQ(usb.With(1, [](Bridge& b) { return b.chip.RequestCount(); }), 0u);
}

// Plugged in after the start, a bridge that cannot be opened is named once
// and taken as soon as its permissions are mended.
TEST_F(EmulatedTest, BridgeWithoutPermissionIsTakenOnceMended) {
  LibusbOptions options;
  options.openRetryWindowMs = 50;  // few failed opens: each costs the emulator a slot
  options.reopenPeriodMs = 100;
  StartWindow(options);
  usb.Plug(true, false);
  QTest::qWait(400);  // a few attempts to open it
  usb.MakeOpenable(0);
  EXPECT_EQ(
      WaitFor("Accepting"),  // the whole log
      "Initializing driver for USB-to-I2C interface...\r\nUSB-to-I2C driver initialization successful.\r\n"
      "Searching for USB-to-I2C interface...\r\n" +
          kNotDetected +
          "USB-to-I2C interface found (bus 1, device 2) but it cannot be opened: permission denied.\r\n"
          "Install the udev rule 70-regdiag.rules as shown in the README; the bridge is taken up as "
          "soon as it can be opened, without replugging.\r\n" +
          Attached("1"));
  Set(0, 0x00, 0x3E);
  EXPECT_EQ(Click(&DiagWindow::cbRead_Click, 0), "Reading register 0x00 = 0x3E successful\r\n");
}

struct FaultCase {
  const char* name;
  Fault fault;
  std::string log;  // of reading row 0, whose register holds 0x11
};

class FaultyReplyTest : public EmulatedTest, public ::testing::WithParamInterface<FaultCase> {};

// Row 0, read as 3C, is read again with the fault, then row 1 without: each row
// shows, and the cache holds, only its own register's value, and the halt or
// the late reply that the fault left behind does not reach the second read.
TEST_P(FaultyReplyTest, NeverPassesForAValue) {
  usb.Plug();
  LibusbOptions options;
  options.transferTimeoutOverrideMs = 200;
  StartWindow(options);
  Set(0, 0x00, 0x3C);
  Set(0, 0x01, 0x42);
  window->cbRead_Click(0);
  Set(0, 0x00, 0x11, GetParam().fault);
  Mark();
  window->cbRead_Click(0);
  window->cbRead_Click(1);
  EXPECT_EQ(Log().substr(mark), GetParam().log + "Reading register 0x01 = 0x42 successful\r\n");
  const int shown = GetParam().fault == Fault::Pad ? 0x11 : 0x3C;
  EXPECT_EQ(window->tbRegdata[0]->text().toInt(nullptr, 16), shown);
  EXPECT_EQ(window->Cache[0x00], shown);
}

const std::string kTimedOut =
    "ReadPipe: UsbTransfer() failed: error &H20000007 (The transfer timed out)\r\nRead Pipe failed\r\n" +
    kFailed;

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyReplyTest,
    ::testing::Values(
        FaultCase{"Stall", Fault::Stall,
                  "ReadPipe: UsbTransfer() failed: error &H20000008 (The endpoint stalled)\r\nRead Pipe "
                  "failed\r\n" +
                      kFailed},
        FaultCase{"NoReply", Fault::Hang, kTimedOut}, FaultCase{"LateReply", Fault::Late, kTimedOut},
        FaultCase{"PaddedTo64Bytes", Fault::Pad, "Reading register 0x00 = 0x11 successful\r\n"},
        FaultCase{"StatusByteAloneNoAcknowledge", Fault::NoAck,
                  "Reading register 0x00 failed: No ACK from QRV4417. Check power and connections.\r\n"},
        FaultCase{"StatusByteAloneSuccess", Fault::StatusOnly, kFailed}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// Quit while the reply hangs (the real 30 s time-out): the transfer is taken
// back and the window goes at once, writing nothing more.
TEST_F(EmulatedTest, QuitEndsAHungTransfer) {
  usb.Plug();
  StartWindow();
  Set(0, 0x01, 0x42, Fault::Hang);
  QTimer::singleShot(100, window.get(), [this] { QTest::mouseClick(window->cbQuit, Qt::LeftButton); });
  EXPECT_EQ(Click(&DiagWindow::cbRead_Click, 1), "");
  EXPECT_TRUE(window->Unloaded());
  EXPECT_EQ(Calls(0, USBDEVFS_DISCARDURB), 1);
}

// --- The command line -------------------------------------------------------

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
  EXPECT_EQ(usb.With(0, [](Bridge& b) { return b.chip.Register(0x01); }), 0x5A);
  usb.Unplug(0);
  EXPECT_EQ(run({"read", "1"}, 1),
            "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n");
}

}  // namespace
}  // namespace regdiag::test

int main(int argc, char** argv) {
  const QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload == nullptr || std::strstr(preload, "umockdev") == nullptr) {
    std::fputs("umockdev's preload library is missing: run this program through umockdev-wrapper\n", stderr);
    return 1;
  }
  return RUN_ALL_TESTS();
}
