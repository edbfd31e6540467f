// Register transactions and sequences through the simulated bridge, on the
// real window.
#include <QLabel>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include "link/device_context.h"
#include "link/diag_lib/link_log_text.h"
#include "support/window_harness.h"
#include "window/hex_entry_box.h"
#include "window/wrap_button.h"

using regdiag::test::CrLfLines;
using regdiag::test::HarnessOptions;
using regdiag::test::WindowHarness;

namespace {

std::string Text(const WindowHarness& h, std::uint32_t status) {
  return regdiag::logtext::CutAtNul(const_cast<WindowHarness&>(h).Library().UsbStatusString(status));
}

regdiag::usb::VirtualBridge& Chip(WindowHarness& h) { return h.Library().Bridge(*h.FirstBridge()); }

// A map with a register that is named but shown on no page (0x06).
std::string SevenOnOnePage() {
  return CrLfLines({"TABNAME,Seven", "REG,1,A", "REG,2,B", "REG,3,C", "REG,4,D", "REG,5,E", "REG,6,HIDDEN",
                    "REG,7,G", "TABNAME,Again", "REG,3,C"});
}

}  // namespace

class TransactionsTest : public QObject {
  Q_OBJECT

 private slots:
  void typicalReadOfARowOnPageThree();
  void readAndWriteJudgeTheStatusByte_data();
  void readAndWriteJudgeTheStatusByte();
  void failedTransfersAreNeverReportedAsSuccess_data();
  void failedTransfersAreNeverReportedAsSuccess();
  void readGroupWorkedExample();
  void readGroupFollowsATabSwitch();
  void writeGroupSendsWhatTheRowsShow();
  void groupWithoutBridgeReportsEveryRow();
  void readAllAndWriteAllGoInAddressOrder();
  void readAllWithoutBridge();
  void bridgeUnpluggedInTheMiddleOfReadAll();
  void quitInTheMiddleOfReadAllStopsEverything();
};

void TransactionsTest::typicalReadOfARowOnPageThree() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  Chip(h).SetRegister(0x22, 0x05);
  h.SelectPage(2);
  const std::size_t mark = w.LogContents().size();
  QTest::mouseClick(w.cbRead[2], Qt::LeftButton);
  QCOMPARE(h.LogSince(mark), std::string("Reading register 0x22 = 0x05 successful\r\n"));
  QCOMPARE(w.tbRegdata[2]->text(), QStringLiteral("05"));
  QCOMPARE(w.updnRegData[2]->value(), 5);
  QCOMPARE(w.cbRegToggleBit[2 * 8 + 0]->text(), QStringLiteral("1"));
  QCOMPARE(w.cbRegToggleBit[2 * 8 + 2]->text(), QStringLiteral("1"));
  QCOMPARE(w.Cache[0x22], 5);
  QVERIFY(!w.IgnoreSpinnerChange);
  // The write sends what the row shows.
  w.tbRegdata[2]->selectAll();
  QTest::keyClicks(w.tbRegdata[2], QStringLiteral("7e"));
  QTest::mouseClick(w.cbWrite[2], Qt::LeftButton);
  QCOMPARE(Chip(h).Register(0x22), 0x7E);
  QVERIFY(w.LogContents().ends_with("Writing register 0x22 = 0x7E successful\r\n"));
}

void TransactionsTest::readAndWriteJudgeTheStatusByte_data() {
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("ending");
  const QString noAck = QStringLiteral(" failed: No ACK from QRV4417. Check power and connections.");
  const QString error = QStringLiteral(" failed: General I2C error");
  QTest::newRow("0x00") << 0x00 << QStringLiteral(" = 0x%1 successful");
  QTest::newRow("0x3F") << 0x3F << QStringLiteral(" = 0x%1 successful");
  QTest::newRow("0x40") << 0x40 << noAck;
  QTest::newRow("0x7F") << 0x7F << noAck;
  QTest::newRow("0x80") << 0x80 << error;
  QTest::newRow("0xC0") << 0xC0 << error;
}

void TransactionsTest::readAndWriteJudgeTheStatusByte() {
  QFETCH(int, status);
  QFETCH(QString, ending);
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  Chip(h).SetRegister(0x01, 0xA9);
  h.Library().ForceNextStatusByte(static_cast<std::uint8_t>(status));
  w.cbRead_Click(1);
  QVERIFY2(w.LogContents().ends_with(("Reading register 0x01" + QString(ending).replace(QStringLiteral("%1"), QStringLiteral("A9")) + "\r\n").toStdString()),
           w.LogContents().c_str());
  // Whatever the status, the value read is shown and cached.
  QCOMPARE(w.tbRegdata[1]->text(), QStringLiteral("A9"));
  QCOMPARE(w.Cache[0x01], 0xA9);
  h.Library().ForceNextStatusByte(static_cast<std::uint8_t>(status));
  w.cbWrite_Click(1);
  QVERIFY(w.LogContents().ends_with(("Writing register 0x01" + QString(ending).replace(QStringLiteral("%1"), QStringLiteral("A9")) + "\r\n").toStdString()));
}

void TransactionsTest::failedTransfersAreNeverReportedAsSuccess_data() {
  QTest::addColumn<QString>("fault");
  QTest::newRow("request transfer fails") << "out";
  QTest::newRow("reply transfer fails") << "in";
  QTest::newRow("reply times out") << "timeout";
  QTest::newRow("short reply") << "short";
  QTest::newRow("no endpoints") << "noendpoints";
  QTest::newRow("device information fails") << "info";
}

void TransactionsTest::failedTransfersAreNeverReportedAsSuccess() {
  QFETCH(QString, fault);
  WindowHarness h;
  if (fault == "noendpoints") {
    h.Library().Unplug(*h.FirstBridge());
    h.Library().SetNoEndpoints(true);
  }
  const int bridge = fault == "noendpoints" ? h.Library().Plug() : *h.FirstBridge();
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  h.Library().Bridge(bridge).SetRegister(0x01, 0x66);
  w.tbRegdata[1]->selectAll();
  QTest::keyClicks(w.tbRegdata[1], QStringLiteral("3c"));
  const std::size_t mark = w.LogContents().size();
  using namespace regdiag::usb;
  std::string pipeLines;
  if (fault == "out") {
    h.Library().FailNextTransfer(kStatusIoError);
    pipeLines = "WritePipe: UsbTransfer() failed: error &H2000000B (" + Text(h, kStatusIoError) + ")\r\nWrite Pipe failed\r\n";
  } else if (fault == "in" || fault == "timeout") {
    const UsbStatus status = fault == "in" ? kStatusStall : kStatusTimeout;
    h.Library().OnNextTransfer([&h, status] {
      h.Library().OnNextTransfer([&h, status] { h.Library().FailNextTransfer(status); });
    });
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", status);
    pipeLines = std::string("ReadPipe: UsbTransfer() failed: error &H") + hex + " (" + Text(h, status) +
                ")\r\nRead Pipe failed\r\n";
  } else if (fault == "short") {
    h.Library().ShortenNextReply(1);
  } else if (fault == "noendpoints") {
    pipeLines = "  No pipes are defined for this device \r\nother than the default pipe (number 0)\r\nWrite Pipe failed\r\n";
  } else if (fault == "info") {
    h.Library().FailNextDeviceInfo(kStatusNoDevice);
    pipeLines = "WritePipe: UsbGetDeviceInfo() failed:\r\nerror &H20000003 (" + Text(h, kStatusNoDevice) + ")\r\n\r\n";
  }
  w.cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), pipeLines + "Reading register 0x01 failed: USB transfer error\r\n");
  // The row and the cache keep what they had.
  QCOMPARE(w.tbRegdata[1]->text(), QStringLiteral("3C"));
  QCOMPARE(w.Cache[0x01], 0x3C);
  QCOMPARE(w.updnRegData[1]->value(), 0x3C);
  if (fault == "noendpoints") {
    const std::size_t again = w.LogContents().size();
    w.cbWrite_Click(1);
    QCOMPARE(h.LogSince(again), pipeLines + "Writing register 0x01 failed: USB transfer error\r\n");
  }
}

void TransactionsTest::readGroupWorkedExample() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  Chip(h).SetRegister(0x00, 0x12);
  // The second read gets the no-acknowledge status: armed during the first
  // pause, between the two rows.
  QTimer::singleShot(0, &w, [&h] { h.Library().ForceNextStatusByte(0x40); });
  const std::size_t mark = w.LogContents().size();
  const auto transfersBefore = h.Library().TransferCount();
  w.cbReadRegs_Click();
  QCOMPARE(h.LogSince(mark), std::string("Reading register group:\r\n"
                                         "Reading register 0x00 = 0x12 successful\r\n"
                                         "Reading register 0x01 failed: No ACK from QRV4417. Check power and connections.\r\n"
                                         "\r\n"));
  QCOMPARE(h.Library().TransferCount() - transfersBefore, 4u);
}

void TransactionsTest::readGroupFollowsATabSwitch() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  h.SelectPage(2);  // six rows: 0x20 .. 0x24, 0x00
  QTimer::singleShot(0, &w, [&h] { h.SelectPage(0); });
  const std::size_t mark = w.LogContents().size();
  w.cbReadRegs_Click();
  QCOMPARE(h.LogSince(mark), std::string("Reading register group:\r\n"
                                         "Reading register 0x20 = 0x00 successful\r\n"
                                         "Reading register 0x01 = 0x00 successful\r\n"
                                         "\r\n"));
}

void TransactionsTest::writeGroupSendsWhatTheRowsShow() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  h.SelectPage(2);  // 0x20, 0x21, 0x22 (no name), 0x23, 0x24, 0x00
  for (int row = 0; row < 6; ++row) {
    w.tbRegdata[row]->selectAll();
    QTest::keyClicks(w.tbRegdata[row], QString::number(0xA0 + row, 16));
  }
  const std::size_t mark = w.LogContents().size();
  w.cbWriteRegs_Click();
  QCOMPARE(h.LogSince(mark), std::string("Writing register group:\r\n"
                                         "Writing register 0x20 = 0xA0 successful\r\n"
                                         "Writing register 0x21 = 0xA1 successful\r\n"
                                         "Writing register 0x22 = 0xA2 successful\r\n"
                                         "Writing register 0x23 = 0xA3 successful\r\n"
                                         "Writing register 0x24 = 0xA4 successful\r\n"
                                         "Writing register 0x00 = 0xA5 successful\r\n"
                                         "\r\n"));
  QCOMPARE(Chip(h).Register(0x22), 0xA2);  // an unnamed register is still on its page
  QCOMPARE(Chip(h).Register(0x00), 0xA5);
}

void TransactionsTest::groupWithoutBridgeReportsEveryRow() {
  HarnessOptions options;
  options.plugBridge = false;
  WindowHarness h(options);
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  const std::size_t mark = w.LogContents().size();
  w.cbReadRegs_Click();
  QCOMPARE(h.Messages().Texts().size(), 6);
  std::string expected = "Reading register group:\r\n";
  for (int row = 0; row < 6; ++row) expected += "USB-to-I2C interface not detected. Please check connections.\r\n";
  QCOMPARE(h.LogSince(mark), expected + "\r\n");
}

void TransactionsTest::readAllAndWriteAllGoInAddressOrder() {
  HarnessOptions options;
  options.map = SevenOnOnePage();
  WindowHarness h(options);
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  for (int a = 1; a <= 7; ++a) Chip(h).SetRegister(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(0x10 * a));
  Chip(h).SetRegister(0x08, 0xEE);  // not in the map: never read
  std::size_t mark = w.LogContents().size();
  QTest::mouseClick(w.cbReadAllRegs, Qt::LeftButton);
  std::string expected = "Reading all device registers:\r\n";
  for (int a = 1; a <= 7; ++a) {
    char line[64];
    std::snprintf(line, sizeof line, "Reading register 0x%02X = 0x%02X successful\r\n", a, 0x10 * a);
    expected += line;
  }
  QCOMPARE(h.LogSince(mark), expected + "\r\n");
  QCOMPARE(w.Cache[0x06], 0x60);  // named, on no page, read all the same
  QCOMPARE(w.Cache[0x08], 0);
  // The page shows what was read.
  QCOMPARE(w.tbRegdata[5]->text(), QStringLiteral("70"));
  QCOMPARE(w.updnRegData[0]->value(), 0x10);

  // Write All sends the cache, edits included, once per named address.
  w.tbRegdata[0]->selectAll();
  QTest::keyClicks(w.tbRegdata[0], QStringLiteral("ab"));
  for (int a = 1; a <= 7; ++a) Chip(h).SetRegister(static_cast<std::uint8_t>(a), 0);
  mark = w.LogContents().size();
  QTest::mouseClick(w.cbWriteAllRegs, Qt::LeftButton);
  QCOMPARE(Chip(h).Register(0x01), 0xAB);
  QCOMPARE(Chip(h).Register(0x06), 0x60);
  QCOMPARE(Chip(h).Register(0x03), 0x30);
  const std::string log = h.LogSince(mark);
  QVERIFY(log.starts_with("Writing all device registers:\r\nWriting register 0x01 = 0xAB successful\r\n"));
  QVERIFY(log.ends_with("Writing register 0x07 = 0x70 successful\r\n\r\n"));
}

void TransactionsTest::readAllWithoutBridge() {
  HarnessOptions options;
  options.plugBridge = false;
  WindowHarness h(options);
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  w.Cache[0x00] = 0x44;  // the page refresh after Read All shows the cache
  const std::size_t mark = w.LogContents().size();
  w.cbReadAllRegs_Click();
  QCOMPARE(h.Messages().Texts(), QStringList{QStringLiteral("USB Device not connected!")});
  QCOMPARE(h.LogSince(mark), std::string("Reading all device registers:\r\n"
                                         "USB-to-I2C interface not detected. Please check connections.\r\n\r\n"));
  QCOMPARE(w.tbRegdata[0]->text(), QStringLiteral("44"));
}

void TransactionsTest::bridgeUnpluggedInTheMiddleOfReadAll() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  // Unplugged after the third register: the rest fail, each on its own line.
  int reads = 0;
  std::function<void()> count;
  count = [&] {
    if (++reads == 5) {
      h.Library().Unplug(*h.FirstBridge());
    } else {
      h.Library().OnNextTransfer(count);
    }
  };
  h.Library().OnNextTransfer(count);
  const std::size_t mark = w.LogContents().size();
  w.cbReadAllRegs_Click();
  const std::string log = h.LogSince(mark);
  QVERIFY(!regdiag::DeviceConnected);
  QVERIFY(log.find("Reading register 0x00 = 0x00 successful") != std::string::npos);
  QVERIFY(log.find("Reading register 0x01 = 0x00 successful") != std::string::npos);
  QVERIFY(log.find("DeviceDetach: Received detach for device handle") != std::string::npos);
  for (const char* address : {"0x10", "0x20", "0x21", "0x23", "0x24"}) {
    QVERIFY2(log.find(std::string("Reading register ") + address + " failed: USB transfer error") != std::string::npos,
             address);
  }
  QVERIFY(log.find("0x22") == std::string::npos);  // unnamed: skipped
  QVERIFY(log.find("0x10 =") == std::string::npos);
  QVERIFY(log.ends_with("\r\n\r\n"));
}

void TransactionsTest::quitInTheMiddleOfReadAllStopsEverything() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  QTimer::singleShot(15, &w, [&w] { w.cbQuit->click(); });
  const std::size_t mark = w.LogContents().size();
  w.cbReadAllRegs_Click();
  QVERIFY(w.Unloaded());
  QVERIFY(!h.Library().SessionOpen());
  const auto transfers = h.Library().TransferCount();
  const std::string log = h.LogSince(mark);
  QVERIFY(log.starts_with("Reading all device registers:\r\n"));
  QVERIFY(!log.ends_with("\r\n\r\n"));  // no closing line: the sequence stopped
  QVERIFY(transfers < 2u * 8u);
  // Nothing more goes out once the session has ended.
  w.cbRead_Click(0);
  QCOMPARE(h.Library().TransferCount(), transfers);
}

QTEST_MAIN(TransactionsTest)
#include "transactions_test.moc"
