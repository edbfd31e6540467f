// The driver session through the simulated bridge: start-up with the bridge
// present, absent and failing, attach and detach, a second bridge, and the
// end of the session.
#include <QTest>

#include "link/device_context.h"
#include "support/window_harness.h"
#include "window/wrap_button.h"

using regdiag::DeviceConnected;
using regdiag::test::HarnessOptions;
using regdiag::test::WindowHarness;

namespace {

std::string Handle(const WindowHarness& h, int bridge) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", const_cast<WindowHarness&>(h).Library().HandleOf(bridge));
  return text;
}

std::string AttachEntry(const std::string& handle) {
  return "DeviceAttach: Received attach for \r\nvendor ID &H4B7C product ID &H2005\r\ndevice handle &H" +
         handle + "\r\n";
}

}  // namespace

class SessionTest : public QObject {
  Q_OBJECT

 private slots:
  void bridgePresentAtStartLeavesTwoLinesAndAnEmptyOne();
  void bridgeAbsentThenPluggedIn();
  void failingSessionStart_data();
  void failingSessionStart();
  void secondBridgeIsRejectedAndFirstKeepsWorking();
  void detachRefusesTransactionsAndReattachRestoresThem();
  void quitEndsTheSessionOnce();
  void quitWithoutSessionDoesNotEndOne();
};

void SessionTest::bridgePresentAtStartLeavesTwoLinesAndAnEmptyOne() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  QCOMPARE(
      h.Window().LogContents(),
      std::string("USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n"));
  QVERIFY(DeviceConnected);
  QCOMPARE(h.Library().InitCalls(), 1);
}

void SessionTest::bridgeAbsentThenPluggedIn() {
  HarnessOptions options;
  options.plugBridge = false;
  WindowHarness h(options);
  QVERIFY(h.ShowAndStart());
  QCOMPARE(h.Window().LogContents(),
           std::string("Initializing driver for USB-to-I2C interface...\r\n"
                       "USB-to-I2C driver initialization successful.\r\n"
                       "Searching for USB-to-I2C interface...\r\n"
                       "USB-to-I2C interface not detected. Please check connections.\r\n"));
  QVERIFY(!DeviceConnected);
  const std::size_t mark = h.Window().LogContents().size();
  const int bridge = h.Library().Plug();
  QVERIFY(!DeviceConnected);  // nothing happens until the window serves events
  h.ProcessEvents();
  QVERIFY(DeviceConnected);
  QCOMPARE(h.LogSince(mark),
           AttachEntry(Handle(h, bridge)) + "DeviceAttach: Accepting control of the device\r\n\r\n");
  h.Library().Bridge(bridge).SetRegister(0x01, 0x42);
  h.Window().cbRead_Click(1);
  QVERIFY(h.Window().LogContents().ends_with("Reading register 0x01 = 0x42 successful\r\n"));
}

void SessionTest::failingSessionStart_data() {
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<QString>("shown");
  QTest::newRow("plain text") << QByteArray("The library could not start") << "The library could not start";
  QTest::newRow("text with NUL") << QByteArray("Cut here\0and not this", 21) << "Cut here";
}

void SessionTest::failingSessionStart() {
  QFETCH(QByteArray, text);
  QFETCH(QString, shown);
  WindowHarness h;
  h.Library().FailNextInit(0x2000000B, text.toStdString());
  QVERIFY(h.ShowAndStart());
  QCOMPARE(h.Window().LogContents(),
           "Initializing driver for USB-to-I2C interface...\r\n"
           "Form_Activate(): Failed to initialize USB driver: error &H2000000B\r\n(" +
               shown.toStdString() +
               ")\r\n"
               "USB-to-I2C driver initialization failure.\r\n");
  QVERIFY(!DeviceConnected);
  // Without a session every transaction reports the missing bridge.
  h.Messages().Clear();
  h.Window().cbRead_Click(0);
  QCOMPARE(h.Messages().Texts(), QStringList{QStringLiteral("USB Device not connected!")});
}

void SessionTest::secondBridgeIsRejectedAndFirstKeepsWorking() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  std::size_t mark = h.Window().LogContents().size();
  const int second = h.Library().Plug();
  const int third = h.Library().Plug();
  h.ProcessEvents();
  const std::string rejected =
      "DeviceAttach: Previous attached already accepted control of the device - \r\n"
      "control is rejected because only one device control is supported\r\n"
      "DeviceAttach: Rejecting control of the device\r\n";
  QCOMPARE(h.LogSince(mark),
           AttachEntry(Handle(h, second)) + rejected + AttachEntry(Handle(h, third)) + rejected);
  QCOMPARE(h.Window().Context.deviceHandle, h.Library().HandleOf(*h.FirstBridge()));
  // A rejected bridge that leaves does not release the held one.
  h.Library().Unplug(third);
  h.ProcessEvents();
  QVERIFY(DeviceConnected);
  h.Library().Bridge(*h.FirstBridge()).SetRegister(0x00, 0x99);
  h.Window().cbRead_Click(0);
  QVERIFY(h.Window().LogContents().ends_with("Reading register 0x00 = 0x99 successful\r\n"));
  // When the held bridge leaves, the one set aside is offered again.
  const std::string firstHandle = Handle(h, *h.FirstBridge());
  mark = h.Window().LogContents().size();
  h.Library().Unplug(*h.FirstBridge());
  h.ProcessEvents();
  QCOMPARE(h.LogSince(mark), "DeviceDetach: Received detach for device handle &H" + firstHandle + "\r\n" +
                                 AttachEntry(Handle(h, second)) +
                                 "DeviceAttach: Accepting control of the device\r\n\r\n");
  h.Library().Bridge(second).SetRegister(0x00, 0x5A);
  h.Window().cbRead_Click(0);
  QVERIFY(h.Window().LogContents().ends_with("Reading register 0x00 = 0x5A successful\r\n"));
}

void SessionTest::detachRefusesTransactionsAndReattachRestoresThem() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  const std::string oldHandle = Handle(h, *h.FirstBridge());
  const std::size_t mark = h.Window().LogContents().size();
  h.Library().Unplug(*h.FirstBridge());
  h.ProcessEvents();
  QVERIFY(!DeviceConnected);
  QCOMPARE(h.Window().Context.deviceHandle, 0u);
  QCOMPARE(h.LogSince(mark), "DeviceDetach: Received detach for device handle &H" + oldHandle + "\r\n");
  h.Messages().Clear();
  h.Window().cbWrite_Click(0);
  QCOMPARE(h.Messages().Texts(), QStringList{QStringLiteral("USB Device not connected!")});
  QVERIFY(
      h.Window().LogContents().ends_with("USB-to-I2C interface not detected. Please check connections.\r\n"));
  const int again = h.Library().Plug();
  h.ProcessEvents();
  QVERIFY(DeviceConnected);
  h.Window().cbWrite_Click(0);
  QVERIFY(h.Window().LogContents().ends_with("Writing register 0x00 = 0x00 successful\r\n"));
  QCOMPARE(h.Library().Bridge(again).RequestCount(), 1u);
}

void SessionTest::quitEndsTheSessionOnce() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  QTest::mouseClick(h.Window().cbQuit, Qt::LeftButton);
  QVERIFY(h.Window().Unloaded());
  QVERIFY(!h.Window().isVisible());
  QCOMPARE(h.Library().UninitCalls(), 1);
  QVERIFY(!h.Library().SessionOpen());
}

void SessionTest::quitWithoutSessionDoesNotEndOne() {
  WindowHarness h;
  h.Library().FailNextInit(0x20000005);
  QVERIFY(h.ShowAndStart());
  QTest::mouseClick(h.Window().cbQuit, Qt::LeftButton);
  QCOMPARE(h.Library().UninitCalls(), 0);
}

QTEST_MAIN(SessionTest)
#include "session_test.moc"
