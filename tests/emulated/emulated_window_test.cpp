// The real window on the libusb backend, with the bridge emulated where the
// kernel meets libusb: hot-plug, attach and detach, transfers to the
// register file, and the ways a transfer or an open can fail.
//
// Runs under umockdev-wrapper (umockdev's preload library).

// umockdev's GLib headers come before any Qt header.
#include "emulated_window.h"

#include <QTest>
#include <QTimer>

#include "link/device_context.h"
#include "window/hex_entry_box.h"
#include "window/wrap_button.h"

using regdiag::DeviceConnected;
using regdiag::test::BridgeShape;
using regdiag::test::EmulatedUsb;
using regdiag::test::EmulatedWindow;
using regdiag::test::EmulatedWindowOptions;
using regdiag::test::Fault;
using regdiag::usb::VirtualBridge;
using Packets = std::vector<std::vector<std::uint8_t>>;

namespace {

const std::string kStartedWithBridge =
    "USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n";
const std::string kStartedWithoutBridge =
    "Initializing driver for USB-to-I2C interface...\r\n"
    "USB-to-I2C driver initialization successful.\r\n"
    "Searching for USB-to-I2C interface...\r\n"
    "USB-to-I2C interface not detected. Please check connections.\r\n";
const std::string kAccepted = "DeviceAttach: Accepting control of the device\r\n\r\n";

std::string AttachEntry(const char* handle) {
  return std::string(
             "DeviceAttach: Received attach for \r\nvendor ID &H4B7C product ID &H2005\r\ndevice handle &H") +
         handle + "\r\n";
}

void SetRegister(EmulatedUsb& usb, int bridge, std::uint8_t address, std::uint8_t value) {
  usb.Device(bridge).WithBridge([&](VirtualBridge& chip) { chip.SetRegister(address, value); });
}

std::uint8_t Register(EmulatedUsb& usb, int bridge, std::uint8_t address) {
  return usb.Device(bridge).WithBridge([&](VirtualBridge& chip) { return chip.Register(address); });
}

EmulatedWindowOptions WithoutBridge() {
  EmulatedWindowOptions options;
  options.plugBridge = false;
  return options;
}

}  // namespace

class EmulatedWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void bridgePresentAtStartReadsAndWritesTheRegisterFile();
  void bridgePluggedInAfterStartIsAccepted();
  void unpluggedBridgeRefusesTransactionsUntilPluggedInAgain();
  void secondBridgeIsRejectedThenTakenWhenTheFirstLeaves();
  void faultyReplyNeverPassesForAValue_data();
  void faultyReplyNeverPassesForAValue();
  void quitEndsAHungTransfer();
  void bridgeWithoutEndpointsHasNoPipes();
  void bridgeThatCannotBeOpenedIsTakenOnceItsPermissionsAreMended();
};

void EmulatedWindowTest::initTestCase() {
  QVERIFY2(EmulatedUsb::InMockEnvironment(),
           "umockdev's preload library is missing: run this program through umockdev-wrapper");
}

void EmulatedWindowTest::bridgePresentAtStartReadsAndWritesTheRegisterFile() {
  EmulatedWindow h;
  QVERIFY(h.ShowAndStart());
  QCOMPARE(h.Window().LogContents(), kStartedWithBridge);
  QVERIFY(DeviceConnected);
  QCOMPARE(h.Usb().Device(0).Record().claims, 1);

  SetRegister(h.Usb(), 0, 0x01, 0x42);
  std::size_t mark = h.LogSize();
  h.Window().cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), std::string("Reading register 0x01 = 0x42 successful\r\n"));
  QCOMPARE(h.Window().tbRegdata[1]->text(), QStringLiteral("42"));

  h.TypeValue(1, "7e");
  mark = h.LogSize();
  h.Window().cbWrite_Click(1);
  QCOMPARE(h.LogSince(mark), std::string("Writing register 0x01 = 0x7E successful\r\n"));
  QCOMPARE(Register(h.Usb(), 0, 0x01), 0x7E);
  QCOMPARE(h.Usb().Device(0).Record().requests, (Packets{{0x01, 0x5B, 0x01}, {0x00, 0x5A, 0x01, 0x7E}}));
}

void EmulatedWindowTest::bridgePluggedInAfterStartIsAccepted() {
  EmulatedWindow h(WithoutBridge());
  QVERIFY(h.ShowAndStart());
  QCOMPARE(h.Window().LogContents(), kStartedWithoutBridge);
  QVERIFY(!DeviceConnected);

  const std::size_t mark = h.LogSize();
  const int bridge = h.Usb().Plug();
  QVERIFY(h.WaitForLog(kAccepted, mark));
  QCOMPARE(h.LogSince(mark), AttachEntry("1") + kAccepted);
  QVERIFY(DeviceConnected);

  SetRegister(h.Usb(), bridge, 0x00, 0xC3);
  h.Window().cbRead_Click(0);
  QVERIFY(h.Window().LogContents().ends_with("\r\n\r\nReading register 0x00 = 0xC3 successful\r\n"));
}

void EmulatedWindowTest::unpluggedBridgeRefusesTransactionsUntilPluggedInAgain() {
  EmulatedWindow h;
  QVERIFY(h.ShowAndStart());
  std::size_t mark = h.LogSize();
  h.Usb().Unplug(0);
  QVERIFY(h.WaitForLog("DeviceDetach", mark));
  QCOMPARE(h.LogSince(mark), std::string("DeviceDetach: Received detach for device handle &H1\r\n"));
  QVERIFY(!DeviceConnected);

  h.Messages().Clear();
  mark = h.LogSize();
  h.Window().cbRead_Click(0);
  QCOMPARE(h.Messages().Texts(), QStringList{QStringLiteral("USB Device not connected!")});
  QCOMPARE(h.LogSince(mark), std::string("USB-to-I2C interface not detected. Please check connections.\r\n"));

  mark = h.LogSize();
  const int again = h.Usb().Plug();
  QVERIFY(h.WaitForLog(kAccepted, mark));
  QCOMPARE(h.LogSince(mark), AttachEntry("2") + kAccepted);
  SetRegister(h.Usb(), again, 0x00, 0x5A);
  mark = h.LogSize();
  h.Window().cbRead_Click(0);
  QCOMPARE(h.LogSince(mark), std::string("Reading register 0x00 = 0x5A successful\r\n"));
  QCOMPARE(h.Usb().Device(0).Record().requests, Packets{});
}

void EmulatedWindowTest::secondBridgeIsRejectedThenTakenWhenTheFirstLeaves() {
  EmulatedWindow h;
  QVERIFY(h.ShowAndStart());
  std::size_t mark = h.LogSize();
  const int second = h.Usb().Plug();
  QVERIFY(h.WaitForLog("Rejecting", mark));
  QCOMPARE(h.LogSince(mark),
           AttachEntry("2") +
               "DeviceAttach: Previous attached already accepted control of the device - \r\n"
               "control is rejected because only one device control is supported\r\n"
               "DeviceAttach: Rejecting control of the device\r\n");
  // The rejected bridge is let go at once.
  QCOMPARE(h.Usb().Device(second).Record().releases, 1);

  // When the held bridge leaves, the one set aside is offered again.
  mark = h.LogSize();
  SetRegister(h.Usb(), 0, 0x01, 0x99);
  SetRegister(h.Usb(), second, 0x01, 0x77);
  h.Window().cbRead_Click(1);
  h.Usb().Unplug(0);
  QVERIFY(h.WaitForLog(kAccepted, mark));
  QCOMPARE(h.LogSince(mark),
           "Reading register 0x01 = 0x99 successful\r\n"
           "DeviceDetach: Received detach for device handle &H1\r\n" +
               AttachEntry("2") + kAccepted);
  mark = h.LogSize();
  h.Window().cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), std::string("Reading register 0x01 = 0x77 successful\r\n"));
}

// Row 0 is read with the fault, then row 1 without: each row shows, and the
// cache holds, only its own register's value, and the halt or the late reply
// that the fault left behind does not reach the second read.
void EmulatedWindowTest::faultyReplyNeverPassesForAValue_data() {
  QTest::addColumn<int>("fault");  // a Fault, or -1 for a success status without its value
  QTest::addColumn<std::string>("log");
  QTest::addColumn<QString>("row0");
  const std::string failed = "Reading register 0x00 failed: USB transfer error\r\n";
  const std::string timedOut =
      "ReadPipe: UsbTransfer() failed: error &H20000007 (The transfer timed out)\r\nRead Pipe failed\r\n";
  QTest::newRow("stall") << int(Fault::Stall)
                         << "ReadPipe: UsbTransfer() failed: error &H20000008 (The endpoint stalled)\r\n"
                            "Read Pipe failed\r\n" +
                                failed
                         << "3C";
  QTest::newRow("no reply") << int(Fault::Hang) << timedOut + failed << "3C";
  QTest::newRow("late reply") << int(Fault::Late) << timedOut + failed << "3C";
  QTest::newRow("padded to 64 bytes")
      << int(Fault::Pad) << std::string("Reading register 0x00 = 0x11 successful\r\n") << "11";
  QTest::newRow("status byte alone, no acknowledge")
      << int(Fault::StatusOnly)
      << std::string("Reading register 0x00 failed: No ACK from QRV4417. Check power and connections.\r\n")
      << "3C";
  QTest::newRow("status byte alone, success") << -1 << failed << "3C";
}

void EmulatedWindowTest::faultyReplyNeverPassesForAValue() {
  QFETCH(int, fault);
  QFETCH(std::string, log);
  QFETCH(QString, row0);
  EmulatedWindowOptions options;
  options.libusb.transferTimeoutOverrideMs = 200;
  EmulatedWindow h(options);
  QVERIFY(h.ShowAndStart());
  SetRegister(h.Usb(), 0, 0x00, 0x11);
  SetRegister(h.Usb(), 0, 0x01, 0x42);
  h.TypeValue(0, "3c");
  if (fault < 0) {
    h.Usb().Device(0).WithBridge([](VirtualBridge& chip) { chip.ShortenNextReply(1); });
  } else {
    h.Usb().Device(0).InjectNext(static_cast<Fault>(fault));
  }
  const std::size_t mark = h.LogSize();
  h.Window().cbRead_Click(0);
  h.Window().cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), log + "Reading register 0x01 = 0x42 successful\r\n");
  QCOMPARE(h.Window().tbRegdata[0]->text(), row0);
  QCOMPARE(h.Window().Cache[0x00], row0.toInt(nullptr, 16));
}

// Quit while the reply hangs (the real 30 s time-out): the transfer is taken
// back and the window goes at once, writing nothing more.
void EmulatedWindowTest::quitEndsAHungTransfer() {
  EmulatedWindow h;
  QVERIFY(h.ShowAndStart());
  h.Usb().Device(0).InjectNext(Fault::Hang);
  QTimer::singleShot(100, &h.Window(), [&h] { QTest::mouseClick(h.Window().cbQuit, Qt::LeftButton); });
  const std::size_t mark = h.LogSize();
  h.Window().cbRead_Click(1);
  QVERIFY(h.Window().Unloaded());
  QCOMPARE(h.LogSince(mark), std::string());
  QCOMPARE(h.Usb().Device(0).Record().discarded, 1);
}

void EmulatedWindowTest::bridgeWithoutEndpointsHasNoPipes() {
  EmulatedWindowOptions options;
  options.shape.endpoints = false;
  EmulatedWindow h(options);
  QVERIFY(h.ShowAndStart());
  QCOMPARE(h.Window().LogContents(), kStartedWithBridge);
  const std::string noPipes =
      "  No pipes are defined for this device \r\nother than the default pipe (number 0)\r\nWrite Pipe "
      "failed\r\n";
  std::size_t mark = h.LogSize();
  h.Window().cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), noPipes + "Reading register 0x01 failed: USB transfer error\r\n");
  mark = h.LogSize();
  h.Window().cbWrite_Click(1);
  QCOMPARE(h.LogSince(mark), noPipes + "Writing register 0x01 failed: USB transfer error\r\n");
  QCOMPARE(h.Usb().Device(0).Record().requests, Packets{});
}

void EmulatedWindowTest::bridgeThatCannotBeOpenedIsTakenOnceItsPermissionsAreMended() {
  if (const std::string problem = EmulatedUsb::UnopenableProblem(); !problem.empty()) {
    QSKIP(problem.c_str());
  }
  EmulatedWindowOptions options = WithoutBridge();
  options.libusb.openRetryWindowMs = 200;  // few failed opens: each costs the emulator a slot
  options.libusb.reopenPeriodMs = 300;
  EmulatedWindow h(options);
  QVERIFY(h.ShowAndStart());
  std::size_t mark = h.LogSize();
  BridgeShape shape;
  shape.openable = false;
  const int bridge = h.Usb().Plug(shape);
  QVERIFY(h.WaitForLog("permission denied", mark));
  QCOMPARE(h.LogSince(mark),
           std::string(
               "USB-to-I2C interface found (bus 1, device 2) but it cannot be opened: permission denied.\r\n"
               "Install the udev rule 70-regdiag.rules as shown in the README; the bridge is taken up as "
               "soon as it can be opened, without replugging.\r\n"));
  QVERIFY(!DeviceConnected);
  mark = h.LogSize();
  h.Usb().MakeOpenable(bridge);
  QVERIFY(h.WaitForLog(kAccepted, mark));
  QCOMPARE(h.LogSince(mark), AttachEntry("1") + kAccepted);
  SetRegister(h.Usb(), bridge, 0x00, 0x3E);
  h.Window().cbRead_Click(0);
  QVERIFY(h.Window().LogContents().ends_with("\r\n\r\nReading register 0x00 = 0x3E successful\r\n"));
}

QTEST_MAIN(EmulatedWindowTest)
#include "emulated_window_test.moc"
