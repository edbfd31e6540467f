// Start-up of the real window: the laid-out controls, the map's texts and
// tabs, and the two ways a map can fail to load.
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "support/window_harness.h"
#include "window/hex_entry_box.h"
#include "window/log_pane.h"
#include "window/wrap_button.h"

using regdiag::test::HarnessOptions;
using regdiag::test::WindowHarness;

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsAreLaidOutInPixels();
  void mapTitlesTabsAndFirstPage();
  void mapTextsShowLiterally();
  void tabKeyWalksTheWindowInReadingOrder();
  void missingMapLeavesLaidOutWindow();
  void unreadableMapIsReportedAndLeavesLaidOutWindow();
  void mapWithoutPagesHidesEveryRowAndClicksAreHarmless();
  void groupButtonsNeverShowAndTimer2NeverRuns();
  void windowIsCentredAndAccessible();
};

void StartupTest::controlsAreLaidOutInPixels() {
  WindowHarness h;
  auto& w = h.Window();
  QCOMPARE(w.size(), QSize(940, 654));
  QCOMPARE(w.lblQRVDevice->geometry(), QRect(16, 32, 569, 33));
  QCOMPARE(w.lblQRVDevice->font().pointSizeF(), 24.0);
  QVERIFY(w.lblQRVDevice->font().bold());
  QCOMPARE(w.Image1->geometry(), QRect(600, 8, 328, 80));
  QVERIFY(!w.Image1->pixmap().isNull());
  QCOMPARE(w.TabStrip1->font().pointSizeF(), 9.75);
  for (int row = 0; row < 6; ++row) {
    QCOMPARE(w.fmRegCtrls[row]->geometry(), QRect(24, 160 + 56 * row, 889, 57));
    QCOMPARE(w.lblRegName[row]->geometry(), QRect(8, 16, 89, 17));
    QCOMPARE(w.lblRegAddr[row]->geometry(), QRect(8, 32, 89, 17));
    QCOMPARE(w.tbRegdata[row]->geometry(), QRect(696, 24, 41, 27));
    QCOMPARE(w.updnRegData[row]->geometry(), QRect(736, 24, 16, 25));
    QCOMPARE(w.cbRead[row]->geometry(), QRect(768, 24, 49, 25));
    QCOMPARE(w.cbWrite[row]->geometry(), QRect(824, 24, 49, 25));
    QCOMPARE(w.updnRegData[row]->minimum(), 0);
    QCOMPARE(w.updnRegData[row]->maximum(), 255);
    QCOMPARE(w.updnRegData[row]->singleStep(), 1);
    for (int bit = 0; bit < 8; ++bit) {
      const int x = 112 + 72 * (7 - bit);
      QCOMPARE(w.lblBitName[row * 8 + bit]->geometry(), QRect(x, 8, 65, 17));
      QCOMPARE(w.cbRegToggleBit[row * 8 + bit]->geometry(), QRect(x, 24, 67, 25));
      QCOMPARE(w.cbRegToggleBit[row * 8 + bit]->font().pointSizeF(), 12.0);
    }
  }
  QCOMPARE(w.lblLog->pos(), QPoint(8, 560));
  QCOMPARE(w.txtLog->geometry(), QRect(56, 560, 457, 81));
  QCOMPARE(w.cmdClearLog->geometry(), QRect(528, 560, 97, 81));
  QCOMPARE(w.cbReadAllRegs->geometry(), QRect(640, 560, 89, 81));
  QCOMPARE(w.cbWriteAllRegs->geometry(), QRect(736, 560, 89, 81));
  QCOMPARE(w.cbQuit->geometry(), QRect(840, 560, 89, 81));
  QCOMPARE(w.cbReadRegs->geometry(), QRect(792, 504, 49, 33));
  QCOMPARE(w.cbWriteRegs->geometry(), QRect(848, 504, 49, 33));
  QCOMPARE(w.cmdClearLog->text(), QStringLiteral("Clear Log"));
  QCOMPARE(w.cbReadAllRegs->text(), QStringLiteral("Read All Registers"));
  QCOMPARE(w.cbWriteAllRegs->text(), QStringLiteral("Write All Registers"));
  QCOMPARE(w.cbQuit->text(), QStringLiteral("Quit"));
  QCOMPARE(w.lblLog->text(), QStringLiteral("Log:"));
  // The one face the layout names besides the default is the one Qt found,
  // in the style asked for, not a fallback.
  const QFontInfo found(w.lblLog->font());
  QCOMPARE(found.family(), QStringLiteral("DejaVu Sans Condensed"));
  QCOMPARE(found.styleName(), QStringLiteral("Condensed Bold"));
}

void StartupTest::mapTitlesTabsAndFirstPage() {
  WindowHarness h;
  auto& w = h.Window();
  QCOMPARE(w.windowTitle(), QStringLiteral("Board Register Tool"));
  QCOMPARE(w.lblQRVDevice->text(), QStringLiteral("Power Controller"));
  QCOMPARE(w.TabStrip1->count(), 4);
  const QStringList names{"Control", "Status", "Six", "Empty"};
  for (int i = 0; i < 4; ++i) QCOMPARE(w.TabStrip1->tabText(i), names[i]);
  QCOMPARE(w.TabStrip1->currentIndex(), 0);
  QCOMPARE(w.lblRegName[0]->text(), QStringLiteral("CONFIG"));
  QCOMPARE(w.lblRegAddr[1]->text(), QStringLiteral("@ reg addr 0x01"));
  QCOMPARE(w.lblBitName[7]->text(), QStringLiteral("EN"));
  QCOMPARE(w.lblBitName[0]->text(), QStringLiteral("SS0"));
  QVERIFY(!w.fmRegCtrls[0]->isHidden());
  QVERIFY(!w.fmRegCtrls[1]->isHidden());
  for (int row = 2; row < 6; ++row) QVERIFY(w.fmRegCtrls[row]->isHidden());
  QCOMPARE(w.tbRegdata[0]->text(), QStringLiteral("00"));
  QCOMPARE(w.cbRegToggleBit[3]->text(), QStringLiteral("0"));
}

void StartupTest::mapTextsShowLiterally() {
  // Were the markup read, the image would load and the bold x be one letter.
  const std::string markup = R"(<b>x</b><img src=":/regdiag/logo.png" width="1" height="200">)";
  HarnessOptions options;
  options.map = regdiag::test::CrLfLines(
      {"TITLE," + markup, "TABNAME,Main", "REG,0," + markup, "BITS," + markup + ",6,5,4,3,2,1,0"});
  WindowHarness h(options);
  auto& w = h.Window();
  const QString text = QString::fromStdString(markup);
  for (const QLabel* label : {w.lblQRVDevice, w.lblRegName[0], w.lblBitName[7]}) {
    QCOMPARE(label->text(), text);
    QVERIFY(label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(text));
    QVERIFY(label->sizeHint().height() < 2 * label->fontMetrics().height());
  }
}

void StartupTest::tabKeyWalksTheWindowInReadingOrder() {
  WindowHarness h;  // the first page shows rows 0 and 1
  auto& w = h.Window();
  w.show();
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
  std::vector<QWidget*> order{w.TabStrip1};
  for (int row = 0; row < 2; ++row) {
    for (int bit = 7; bit >= 0; --bit) order.push_back(w.cbRegToggleBit[row * 8 + bit]);
    order.insert(order.end(), {w.tbRegdata[row], w.updnRegData[row], w.cbRead[row], w.cbWrite[row]});
  }
  order.insert(order.end(),
               {w.txtLog, w.cmdClearLog, w.cbReadAllRegs, w.cbWriteAllRegs, w.cbQuit, w.TabStrip1});
  w.TabStrip1->setFocus();
  for (std::size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY2(QApplication::focusWidget() == order[i], qPrintable(QApplication::focusWidget()->objectName()));
  }
}

void StartupTest::missingMapLeavesLaidOutWindow() {
  HarnessOptions options;
  options.writeMap = false;
  WindowHarness h(options);
  auto& w = h.Window();
  QCOMPARE(h.Messages().Texts(), QStringList{QStringLiteral("Configuration file (tabdefs.csv) not found.")});
  QCOMPARE(h.Messages().Captions().value(0), QStringLiteral("regdiag"));
  QCOMPARE(w.windowTitle(), QStringLiteral("Defined in tabdefs.csv: TITLEBAR"));
  QCOMPARE(w.lblQRVDevice->text(), QStringLiteral("Defined in tabdefs.csv: TITLE"));
  QCOMPARE(w.TabStrip1->count(), 1);
  QCOMPARE(w.TabStrip1->tabText(0), QString());
  for (int row = 0; row < 6; ++row) {
    QCOMPARE(w.lblRegName[row]->text(), QStringLiteral("REGNAME"));
    QCOMPARE(w.lblRegAddr[row]->text(), QStringLiteral("@ reg addr 0xXX"));
    QCOMPARE(w.tbRegdata[row]->text(), QStringLiteral("00"));
    QCOMPARE(w.lblBitName[row * 8]->text(), QStringLiteral("BITNAME"));
    QCOMPARE(w.cbRegToggleBit[row * 8]->text(), QStringLiteral("0"));
  }
  // Without a map every row stands for register 0x00: the page fill shows
  // all six rows as that register.
  w.TabStrip1_Click();
  for (int row = 0; row < 6; ++row) {
    QVERIFY(!w.fmRegCtrls[row]->isHidden());
    QCOMPARE(w.lblRegAddr[row]->text(), QStringLiteral("@ reg addr 0x00"));
  }
}

void StartupTest::unreadableMapIsReportedAndLeavesLaidOutWindow() {
  // A map the program may not read. As root every file is readable, so the
  // test reads as an ordinary user while the window loads.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("tabdefs.csv"));
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("TABNAME,Main\r\n");
  }
  QVERIFY(::chmod(path.toLocal8Bit().constData(), 0) == 0);
  QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0755) == 0);
  const bool root = ::geteuid() == 0;
  if (root) QVERIFY(::seteuid(65534) == 0);
  regdiag::test::MessageBoxCatcher messages;
  regdiag::usb::SimUsbLibrary library;
  auto window = std::make_unique<regdiag::DiagWindow>(library, std::filesystem::path(dir.path().toStdString()));
  if (root) QVERIFY(::seteuid(0) == 0);
  QCOMPARE(messages.Texts().size(), 1);
  QVERIFY2(messages.Texts()[0].startsWith(QStringLiteral("Configuration file (tabdefs.csv) could not be read:")),
           qPrintable(messages.Texts()[0]));
  QCOMPARE(window->windowTitle(), QStringLiteral("Defined in tabdefs.csv: TITLEBAR"));
  QCOMPARE(window->TabStrip1->count(), 1);
  QCOMPARE(window->lblRegName[0]->text(), QStringLiteral("REGNAME"));
}

void StartupTest::mapWithoutPagesHidesEveryRowAndClicksAreHarmless() {
  HarnessOptions options;
  options.map = regdiag::test::CrLfLines({"TITLEBAR,No Pages", "REG,5,LONELY"});
  WindowHarness h(options);
  auto& w = h.Window();
  QVERIFY(h.Messages().Texts().isEmpty());
  QCOMPARE(w.windowTitle(), QStringLiteral("No Pages"));
  QCOMPARE(w.TabStrip1->count(), 0);
  for (int row = 0; row < 6; ++row) QVERIFY(w.fmRegCtrls[row]->isHidden());
  QVERIFY(h.ShowAndStart());
  const std::size_t mark = w.LogContents().size();
  for (std::int16_t row = 0; row < 6; ++row) {
    w.cbRead_Click(row);
    w.cbWrite_Click(row);
  }
  QCOMPARE(h.LogSince(mark), std::string());  // no page: nothing to transfer
  w.TabStrip1_Click();
  w.cbReadAllRegs_Click();
  // The register is named, so the whole-device read still reaches it.
  QVERIFY(h.LogSince(mark).find("Reading register 0x05 = 0x00 successful") != std::string::npos);
}

void StartupTest::groupButtonsNeverShowAndTimer2NeverRuns() {
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  auto& w = h.Window();
  QVERIFY(!w.cbReadRegs->isVisible());
  QVERIFY(!w.cbWriteRegs->isVisible());
  QCOMPARE(w.cbReadRegs->text(), QStringLiteral("Read Group"));
  QCOMPARE(w.cbWriteRegs->text(), QStringLiteral("Write Group"));
  QVERIFY(!w.Timer2.isActive());
  QCOMPARE(w.Timer2.interval(), 0);
}

void StartupTest::windowIsCentredAndAccessible() {
  WindowHarness h;
  auto& w = h.Window();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
  QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);
  QCOMPARE(w.cbRead[0]->accessibleName(), QStringLiteral("Read"));
  QCOMPARE(w.cbQuit->accessibleName(), QStringLiteral("Quit"));
  QVERIFY(!w.tbRegdata[0]->accessibleName().isEmpty());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
