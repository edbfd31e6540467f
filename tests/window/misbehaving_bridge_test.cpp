// Bridges that misbehave, through the real window on the simulated bridge:
// no wrong value is ever logged as read, and a transfer that hangs neither
// freezes the window nor keeps the user from quitting.
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "support/window_harness.h"
#include "window/hex_entry_box.h"
#include "window/wrap_button.h"

using regdiag::test::WindowHarness;

namespace {

enum class ReplyFault { Padded, Late, StatusOnlyNack, StatusOnlySuccess };

const std::string kTimedOut =
    "ReadPipe: UsbTransfer() failed: error &H20000007 (The transfer timed out)\r\nRead Pipe failed\r\n";
const std::string kRow1Read = "Reading register 0x01 = 0x42 successful\r\n";

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

Q_DECLARE_METATYPE(ReplyFault)

class MisbehavingBridgeTest : public QObject {
  Q_OBJECT

 private slots:
  void faultyReplyNeverPassesForAValue_data();
  void faultyReplyNeverPassesForAValue();
  void hungTransferKeepsTheWindowAliveAndHoldsNotifications();
  void quitEndsAHungTransfer();
};

void MisbehavingBridgeTest::faultyReplyNeverPassesForAValue_data() {
  QTest::addColumn<ReplyFault>("fault");
  QTest::addColumn<std::string>("log");
  QTest::addColumn<QString>("row0");
  QTest::newRow("padded to a full packet")
      << ReplyFault::Padded << "Reading register 0x00 = 0x11 successful\r\n" + kRow1Read << "11";
  QTest::newRow("late, then another register")
      << ReplyFault::Late << kTimedOut + "Reading register 0x00 failed: USB transfer error\r\n" + kRow1Read
      << "3C";
  QTest::newRow("status byte alone, no acknowledge")
      << ReplyFault::StatusOnlyNack
      << "Reading register 0x00 failed: No ACK from QRV4417. Check power and connections.\r\n" + kRow1Read
      << "3C";
  QTest::newRow("status byte alone, success")
      << ReplyFault::StatusOnlySuccess << "Reading register 0x00 failed: USB transfer error\r\n" + kRow1Read
      << "3C";
}

// Row 0 is read with the fault, then row 1 without: each shows and caches
// only its own register's value.
void MisbehavingBridgeTest::faultyReplyNeverPassesForAValue() {
  QFETCH(ReplyFault, fault);
  QFETCH(std::string, log);
  QFETCH(QString, row0);
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  auto& sim = h.Library();
  sim.Bridge().SetRegister(0x00, 0x11);
  sim.Bridge().SetRegister(0x01, 0x42);
  w.tbRegdata[0]->selectAll();
  QTest::keyClicks(w.tbRegdata[0], QStringLiteral("3c"));
  switch (fault) {
    case ReplyFault::Padded:
      sim.SetPadReplies(true);
      break;
    case ReplyFault::Late:
      sim.AnswerNextReadLate();
      break;
    case ReplyFault::StatusOnlyNack:
      sim.ForceNextStatusByte(0x40);
      [[fallthrough]];
    case ReplyFault::StatusOnlySuccess:
      sim.ShortenNextReply(1);
      break;
  }
  const std::size_t mark = w.LogContents().size();
  w.cbRead_Click(0);
  w.cbRead_Click(1);
  QCOMPARE(h.LogSince(mark), log);
  QCOMPARE(w.tbRegdata[0]->text(), row0);
  QCOMPARE(w.Cache[0x00], row0.toInt(nullptr, 16));
  QCOMPARE(w.tbRegdata[1]->text(), QStringLiteral("42"));
}

// While the request hangs: the window paints, a click on Read and a key in a
// value box are dropped, a second bridge's attach waits. Unplugging the
// bridge ends the transfer; its detach is handled after the transaction.
void MisbehavingBridgeTest::hungTransferKeepsTheWindowAliveAndHoldsNotifications() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  PaintCounter painted;
  w.lblQRVDevice->installEventFilter(&painted);
  h.Library().HangNextTransfer();
  std::size_t logDuringHang = 0;
  QTimer::singleShot(50, &w, [&] {
    w.lblQRVDevice->update();
    QTest::mouseClick(w.cbRead[1], Qt::LeftButton);
    QTest::keyClick(w.tbRegdata[1], Qt::Key_7);
    h.Library().Plug();
    QTimer::singleShot(50, &w, [&] {
      logDuringHang = w.LogContents().size();
      h.Library().Unplug(*h.FirstBridge());
    });
  });
  const std::size_t mark = w.LogContents().size();
  w.cbRead_Click(0);
  QCOMPARE(logDuringHang, mark);
  QVERIFY(painted.paints > 0);
  QCOMPARE(w.tbRegdata[1]->text(), QStringLiteral("00"));
  QCOMPARE(
      h.LogSince(mark),
      std::string("WritePipe: UsbTransfer() failed: error &H20000003 (The device is no longer connected)\r\n"
                  "Write Pipe failed\r\nReading register 0x00 failed: USB transfer error\r\n"));
  h.ProcessEvents();
  QVERIFY(h.LogSince(mark).find("DeviceDetach: Received detach for device handle &H1000\r\nDeviceAttach: "
                                "Received attach for ") != std::string::npos);
}

void MisbehavingBridgeTest::quitEndsAHungTransfer() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  h.Library().HangNextTransfer();
  QTimer::singleShot(50, &w, [&] { QTest::mouseClick(w.cbQuit, Qt::LeftButton); });
  const std::size_t mark = w.LogContents().size();
  w.cbReadAllRegs_Click();
  QVERIFY(w.Unloaded());
  QVERIFY(!h.Library().SessionOpen());
  QCOMPARE(h.LogSince(mark), std::string("Reading all device registers:\r\n"));
  QCOMPARE(h.Library().TransferCount(), 1u);
}

QTEST_MAIN(MisbehavingBridgeTest)
#include "misbehaving_bridge_test.moc"
