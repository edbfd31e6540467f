// The real window on the simulated bridge: what rows show and send in
// transactions and sequences, the driver session (a failed start, no bridge,
// attach, detach, a bridge set aside), and a transfer that hangs. The engine's
// own tests judge every fault; here is what the window adds.
#include "app/sim_control_panel.h"
#include "core/link/device_context.h"
#include "support/window_harness.h"
#include "window/widgets/wrap_button.h"

using regdiag::test::kAccepting;
using regdiag::test::kAttach;
using regdiag::test::kNoPipes;
using regdiag::test::kNotDetected;
using regdiag::test::kRejected;
using regdiag::test::PipeFailed;
using regdiag::test::WindowControls;
using regdiag::test::WindowHarness;

namespace {

// How the log names a bridge's device handle.
std::string Handle(WindowHarness& h, int bridge) {
  return "device handle &H" + QString::number(h.Library().HandleOf(bridge), 16).toUpper().toStdString() +
         "\r\n";
}

std::string Line(const char* verb, int address, int value) {
  return QString::asprintf("%s register 0x%02X = 0x%02X successful\r\n", verb, address, value).toStdString();
}

}  // namespace

class BridgeTest : public QObject {
  Q_OBJECT

 private slots:
  // A row's Read and Write, the groups, and Read All and Write All with their
  // log frames.
  void transactionsAndSequences() {
    WindowHarness h;
    QVERIFY(h.ShowAndStart());
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    auto& chip = h.Library().Bridge();
    chip.SetRegister(0x22, 0x05);
    h.SelectPage(2);  // 0x20, 0x21, 0x22 (no name), 0x23, 0x24, 0x00
    QTest::mouseClick(c.cbRead[2], Qt::LeftButton);
    QCOMPARE(h.NewLog(), Line("Reading", 0x22, 0x05));
    QVERIFY(c.tbRegdata[2]->text() == "05" && c.cbRegToggleBit[2 * 8 + 2]->text() == "1" &&
            c.updnRegData[2]->value() == 5 && w.CachedValue(0x22) == 5 && !w.IgnoringSpinnerChange());
    QTest::keyClick(c.tbRegdata[2], '7');  // the caret went to the start: 7 takes the high digit's place
    QTest::mouseClick(c.cbWrite[2], Qt::LeftButton);
    QVERIFY(chip.Register(0x22) == 0x75 && h.NewLog() == Line("Writing", 0x22, 0x75));
    // A read that fails in any way changes nothing but the log: the row and
    // the cache keep the value typed.
    chip.SetRegister(0x21, 0xA9);
    h.Type(1, QStringLiteral("3c"));
    for (const auto& [status, cut, failure] :
         {std::tuple{0x40, 3, "No ACK from QRV4417. Check power and connections."},
          {0x80, 3, "General I2C error"},
          {0x00, 1, "USB transfer error"}}) {
      h.Library().ForceNextStatusByte(static_cast<std::uint8_t>(status));
      h.Library().ShortenNextReply(cut);
      c.cbRead[1]->click();
      QCOMPARE(h.NewLog(), "Reading register 0x21 failed: " + std::string(failure) + "\r\n");
      QVERIFY(c.tbRegdata[1]->text() == "3C" && w.CachedValue(0x21) == 0x3C &&
              c.updnRegData[1]->value() == 0x3C && c.cbRegToggleBit[8 + 7]->text() == "0");
    }
    // Write Group sends what the rows show, the unnamed register too, but no
    // value that nobody read, wrote, edited or loaded.
    for (int row = 0; row < 5; ++row) h.Type(row, QString::number(0xA0 + row, 16));
    c.cbWriteRegs->click();
    std::string log = "Writing register group:\r\n";
    for (const int a : {0x20, 0x21, 0x22, 0x23, 0x24}) log += Line("Writing", a, chip.Register(a));
    QVERIFY(h.NewLog() == log + "Skipping register 0x00: value not known\r\n\r\n" &&
            chip.Register(0x22) == 0xA2 && chip.Register(0x00) == 0);
    // Read Group reads each row as the page shows it then: the tab is
    // switched, and a no-acknowledge armed, in the pause after the first.
    // Loading and saving wait for the sequence to end.
    QList<QAction*> files = c.tabPageArea->actions() << c.txtLog->SaveAction();
    files.removeIf([](const QAction* action) { return !action->isVisible(); });  // a map without reset values
    bool filesWait = false;
    QTimer::singleShot(0, &w, [&] {
      h.SelectPage(0);
      h.Library().ForceNextStatusByte(0x40);
      filesWait = files.size() == 3 && std::ranges::none_of(files, &QAction::isEnabled);
    });
    const auto before = h.Library().TransferCount();
    c.cbReadRegs->click();
    QCOMPARE(h.NewLog(),
             "Reading register group:\r\n" + Line("Reading", 0x20, 0xA0) +
                 "Reading register 0x01 failed: No ACK from QRV4417. Check power and connections.\r\n\r\n");
    QVERIFY(filesWait && std::ranges::all_of(files, &QAction::isEnabled));
    // Two transfers a row; rows that show no register send nothing.
    h.SelectPage(3);
    for (int row = 0; row < 6; ++row) c.cbRead[row]->click(), c.cbWrite[row]->click();
    QVERIFY(h.NewLog().empty() && h.Library().TransferCount() == before + 4);
    // Read All reads every named register in address order, one named on no
    // page too, and the page shows what was read; Write All sends the cache,
    // edits included.
    for (const auto& [a, v] : {std::pair{0x01, 0x11}, {0x05, 0x55}, {0x10, 0x10}, {0x08, 0xEE}})
      chip.SetRegister(a, v);
    h.SelectPage(0);
    QTest::mouseClick(c.cbReadAllRegs, Qt::LeftButton);
    const std::array named{0x00, 0x01, 0x05, 0x10, 0x20, 0x21, 0x23, 0x24};
    log = "Reading all device registers:\r\n";
    for (const int a : named) log += Line("Reading", a, chip.Register(a));
    QCOMPARE(h.NewLog(), log + "\r\n");
    QVERIFY(w.CachedValue(0x05) == 0x55 && w.CachedValue(0x08) == 0 && c.tbRegdata[1]->text() == "11");
    h.Type(0, QStringLiteral("ab"));
    for (const int a : named) chip.SetRegister(a, 0);
    QTest::mouseClick(c.cbWriteAllRegs, Qt::LeftButton);
    log = "Writing all device registers:\r\n";
    for (const int a : named) log += Line("Writing", a, w.CachedValue(a));
    QCOMPARE(h.NewLog(), log + "\r\n");
    QVERIFY(chip.Register(0x00) == 0xAB && chip.Register(0x05) == 0x55 && chip.Register(0x24) == 0xA4);
    // Read All never goes on with a bridge taken after its own one left.
    QTimer::singleShot(0, &w, [&h] { h.Library().Unplug(*h.FirstBridge()), h.Library().Plug(); });
    c.cbReadAllRegs->click();
    QVERIFY(h.NewLog().ends_with("Reading register 0x24 failed: USB transfer error\r\n\r\n") &&
            h.Library().HeldBridge() != h.FirstBridge() &&
            h.Library().Bridge(*h.Library().HeldBridge()).RequestCount() == 0);
  }

  void failedSessionStartLeavesNoBridge() {
    WindowHarness h;
    h.Library().FailNextInit(0x2000000B, std::string("Cut here\0and not this", 21));
    QVERIFY(h.ShowAndStart());
    QCOMPARE(h.Window().LogContents(),
             "Initializing driver for USB-to-I2C interface...\r\nForm_Activate(): Failed to "
             "initialize USB driver: error &H2000000B\r\n(Cut here)\r\nUSB-to-I2C driver "
             "initialization failure.\r\n");
    h.Controls().cbRead[0]->click();
    QCOMPARE(h.Messages().Texts(), QStringList{"USB Device not connected!"});
    QTest::mouseClick(h.Controls().cbQuit, Qt::LeftButton);  // no session to end
    QCOMPARE(h.Library().UninitCalls(), 0);
  }

  // The session from a start without a bridge to Quit, which ends it once.
  void sessionHoldsOneBridgeAtATime() {
    WindowHarness h({.plugBridge = false});
    QVERIFY(h.ShowAndStart());
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    auto& sim = h.Library();
    QCOMPARE(w.LogContents(),
             "Initializing driver for USB-to-I2C interface...\r\nUSB-to-I2C driver initialization "
             "successful.\r\nSearching for USB-to-I2C interface...\r\n" +
                 kNotDetected);
    c.cbRead[0]->click();
    c.tbRegdata[0]->setText(QStringLiteral("44"));  // not the cache: Read All shows the cache
    c.cbReadAllRegs->click();
    c.cbReadRegs->click();
    QCOMPARE(h.Messages().Texts(), QStringList(8, "USB Device not connected!"));
    std::string group = "Reading register group:\r\n";
    for (int row = 0; row < 6; ++row) group += kNotDetected;
    QCOMPARE(h.NewLog(),
             kNotDetected + "Reading all device registers:\r\n" + kNotDetected + "\r\n" + group + "\r\n");
    QCOMPARE(c.tbRegdata[0]->text(), QStringLiteral("00"));
    // Plugged in, a bridge is taken once the window serves its events; one
    // set aside that leaves again does not release it.
    const int first = sim.Plug();
    QVERIFY(!w.Engine().Session().Connected());
    h.ProcessEvents();
    const int second = sim.Plug();
    h.ProcessEvents();
    QCOMPARE(h.NewLog(), kAttach + Handle(h, first) + kAccepting + kAttach + Handle(h, second) + kRejected);
    sim.Unplug(second);
    h.ProcessEvents();
    sim.Bridge(first).SetRegister(0x00, 0x99);
    c.cbRead[0]->click();
    QCOMPARE(h.NewLog(), Line("Reading", 0x00, 0x99));
    // Once it leaves, transactions are refused again until one is back.
    const std::string left = "DeviceDetach: Received detach for " + Handle(h, first);
    sim.Unplug(first);
    h.ProcessEvents();
    QVERIFY(!w.Engine().Session().Connected() && w.Engine().Session().HeldDevice() == 0u);
    c.cbWrite[0]->click();
    QCOMPARE(h.NewLog(), left + kNotDetected);
    const int again = sim.Plug();
    h.ProcessEvents();
    c.cbWrite[0]->click();
    QVERIFY(h.NewLog().ends_with(Line("Writing", 0x00, 0x99)) && sim.Bridge(again).RequestCount() == 1u);
    QTest::mouseClick(c.cbQuit, Qt::LeftButton);
    QVERIFY(w.Unloaded() && !w.isVisible() && !sim.SessionOpen() && sim.UninitCalls() == 1);
  }

  // While a request hangs, the window serves its events but drops a click on
  // Read, a click (the focus stays) and a key in a value box, a timer's or an
  // accessibility action's click; it holds a second bridge's attach and
  // saving the log waits; presses from before end without their click.
  // Unplugging the bridge ends the transfer; after the transaction the second
  // is set aside, then taken as the first's detach comes. Quit ends the next
  // hung transfer and its sequence, and nothing goes out after.
  void hungTransferLeavesTheWindowAliveButDeaf() {
    WindowHarness h;
    QVERIFY(h.ShowAndStart());
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    auto& sim = h.Library();
    const std::string left = "DeviceDetach: Received detach for " + Handle(h, *h.FirstBridge());
    std::string duringHang = "not served";
    int second = 0;
    const QPoint upArrow(c.updnRegData[1]->width() / 2, c.updnRegData[1]->height() / 4);
    QTest::mousePress(c.updnRegData[1], Qt::LeftButton, {}, upArrow);  // one step, then auto-repeat
    QTest::keyPress(c.cbWrite[1], Qt::Key_Space);
    sim.HangNextTransfer();
    c.tbRegdata[0]->setFocus();
    QTimer::singleShot(50, &w, [&] {
      QTest::mouseRelease(c.updnRegData[1], Qt::LeftButton, {}, upArrow);
      QTest::keyRelease(c.cbWrite[1], Qt::Key_Space);
      for (QWidget* clicked :
           std::initializer_list<QWidget*>{c.cbRead[1], c.tbRegdata[1]})  // as the screen sends them
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, clicked->mapTo(&w, QPoint(4, 4)));
      QTest::keyClick(c.tbRegdata[1], Qt::Key_7);
      c.cbRead[1]->animateClick();
      QAccessible::queryAccessibleInterface(c.cbReadAllRegs)
          ->actionInterface()
          ->doAction(QAccessibleActionInterface::pressAction());
      if (c.txtLog->SaveAction()->isEnabled()) duringHang = "saving offered";
      second = sim.Plug();
      QTimer::singleShot(300, &w, [&] {  // the two clicks' timers have run out
        duringHang = h.NewLog();
        sim.Unplug(*h.FirstBridge());
      });
    });
    c.cbRead[0]->click();
    QVERIFY(duringHang.empty() && c.tbRegdata[1]->text() == "01" && !c.cbWrite[1]->isDown());
    QCOMPARE(h.NewLog(), PipeFailed("Write", "20000003 (The device is no longer connected)") +
                             "Reading register 0x00 failed: USB transfer error\r\n");
    h.ProcessEvents();
    QCOMPARE(h.NewLog(),
             kAttach + Handle(h, second) + kRejected + left + kAttach + Handle(h, second) + kAccepting);
    QTest::qWait(800);  // past the spinner's auto-repeat delay
    QCOMPARE(c.updnRegData[1]->value(), 1);
    c.cbRead[1]->click();  // the first transaction after a failure drains the reply pipe
    h.NewLog();
    sim.HangNextTransfer();
    const auto sent = sim.TransferCount();
    QTimer::singleShot(50, &w, [&] { QTest::mouseClick(c.cbQuit, Qt::LeftButton); });
    c.cbReadAllRegs->click();
    QVERIFY(w.Unloaded() && !sim.SessionOpen());
    QCOMPARE(h.NewLog(), "Reading all device registers:\r\n");
    c.cbRead[0]->click();
    QCOMPARE(sim.TransferCount(), sent + 1);
  }

  // The simulator's panel as a person uses it: controls clicked by their
  // captions, then a Read of the first row, and what the log gains. A fault
  // armed after a failure is not spent on the silent drain of the reply pipe.
  void simulatorPanelReachesTheBridge() {
    WindowHarness h;
    QVERIFY(h.ShowAndStart());
    const WindowControls c = h.Controls();
    h.Library().Bridge().SetRegister(0x00, 0x5A);
    regdiag::SimControlPanel panel(h.Library());
    panel.AttachTo(h.Window());
    const auto click = [&panel](const QString& caption) {
      for (auto* control : panel.findChildren<QAbstractButton*>())
        if (control->text() == caption) return QTest::mouseClick(control, Qt::LeftButton);
      QFAIL(qPrintable("no control captioned " + caption));
    };
    panel.findChild<QComboBox*>()->setCurrentIndex(1);  // 0x40 (no acknowledge)
    const std::string read = "Reading register 0x00 ", failed = read + "failed: USB transfer error\r\n";
    const struct {
      QStringList captions;
      std::string log;
      QString duringRead = {};  // clicked while the read waits
    } kCases[] = {
        {{"Force the next status byte"},
         read + "failed: No ACK from QRV4417. Check power and connections.\r\n"},
        {{"Cut the next reply short"}, failed},
        {{"Time out the next transfer"}, PipeFailed("Write", "20000007 (The transfer timed out)") + failed},
        {{"Fail the next transfer"}, PipeFailed("Write", "2000000B (Input/output error)") + failed},
        {{"Answer the next read late"}, PipeFailed("Read", "20000007 (The transfer timed out)") + failed},
        {{"Pad replies to a full packet"}, read + "= 0x5A successful\r\n"},
        {{"Plug in a second bridge"},
         kAttach + "device handle &H1001\r\n" + kRejected + read + "= 0x5A successful\r\n"},
        {{"Unplug bridge"},
         "DeviceDetach: Received detach for device handle &H1000\r\n" + kAttach + "device handle &H1001\r\n" +
             kAccepting + read + "= 0xA7 successful\r\n"},  // the panel's bridges hold the demo values
        {{"Hang the next transfer"},
         PipeFailed("Write", "20000003 (The device is no longer connected)") + failed +
             "DeviceDetach: Received detach for device handle &H1001\r\n",
         "Unplug the second bridge"},
        {{"Bridges plugged in next offer no endpoints", "Plug in bridge"},
         kAttach + "device handle &H1002\r\n" + kAccepting + kNoPipes + failed},
        // The reply left in the next bridge is drained as it is claimed.
        {{"Bridges plugged in next offer no endpoints", "Unplug bridge", "Leave a reply waiting",
          "Plug in bridge"},
         "DeviceDetach: Received detach for device handle &H1002\r\n" + kAttach + "device handle &H1003\r\n" +
             kAccepting + read + "= 0xA7 successful\r\n"},
    };
    for (const auto& row : kCases) {
      for (const QString& caption : row.captions) click(caption);
      h.ProcessEvents();
      if (!row.duringRead.isEmpty()) QTimer::singleShot(50, &panel, [&] { click(row.duringRead); });
      c.cbRead[0]->click();
      h.ProcessEvents();
      QCOMPARE(QString::fromStdString(h.NewLog()), QString::fromStdString(row.log));
    }
    // Closed, it comes back from the page menu, at its place beside the
    // window, whole on the screen.
    const QRect place = panel.frameGeometry();
    panel.close();
    for (QAction* action : c.fmRegCtrls[0]->actions())
      if (action->text() == "Simulator Panel") action->trigger();
    QVERIFY(panel.isVisible() && panel.frameGeometry() == place &&
            QGuiApplication::primaryScreen()->availableGeometry().contains(place));
    // Beside the window where the screen has room, else over its right edge.
    for (const auto& [window, screen, at] :
         {std::tuple{QRect(100, 50, 940, 654), QRect(0, 0, 1920, 1080), QPoint(1048, 50)},
          {QRect(42, 57, 940, 654), QRect(0, 0, 1024, 768), QPoint(682, 57)},
          {QRect(900, 500, 940, 654), QRect(0, 0, 1024, 768), QPoint(724, 268)},
          {QRect(-50, -20, 940, 654), QRect(0, 30, 1024, 738), QPoint(590, 30)}})
      QCOMPARE(regdiag::PanelPlace(window, QSize(300, 500), screen), at);
  }
};

QTEST_MAIN(BridgeTest)
#include "bridge_test.moc"
