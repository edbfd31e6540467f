// The window with no bridge talked to: layout, map texts, pages, a missing map,
// the log pane and the pause, a row's four places kept in step through editing,
// and files through the context menus, to and from regdiag-cli.
#include "core/text/hex_value.h"
#include "support/window_harness.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

using regdiag::DiagWindow;
using regdiag::test::WindowControls;
using regdiag::test::WindowHarness;

namespace {

// Checks that the row shows `value` in all four places.
void ExpectRow(WindowHarness& h, int row, int address, int value) {
  const DiagWindow& w = h.Window();
  const WindowControls& c = h.Controls();
  QString bits;
  for (int bit = 7; bit >= 0; --bit) bits += c.cbRegToggleBit[row * 8 + bit]->text();
  QCOMPARE(bits, QString::number(value, 2).rightJustified(8, QChar('0')));
  QCOMPARE(regdiag::ParseHexText(c.tbRegdata[row]->text().toStdString()), value);
  QCOMPARE(c.updnRegData[row]->value(), value);
  QCOMPARE(w.CachedValue(address), value);
  QVERIFY(!w.IgnoringSpinnerChange());
}

QColor FaceColour(QWidget* button) {
  const QImage image = button->grab().toImage();
  return image.pixelColor(4, image.height() - 5);
}

// Right-clicks `widget`, chooses `action` in its menu, and answers the file
// dialog that follows with `path` (none follows when it is empty).
void ChooseFile(QWidget* widget, const QString& action, const QString& path) {
  QTimer::singleShot(0, widget, [action, path] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QTimer::singleShot(0, menu, [action, path] {
      if (path.isEmpty()) return;  // an action without a file
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr && dialog->windowTitle() + "..." == action);
      QCOMPARE(dialog->nameFilters().last(), "All files (*)");
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();  // as the Save or Open button does
    });
    for (QAction* item : menu->actions()) {
      if (item->text() == action) item->trigger();
    }
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(widget, &event);
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutMapTextsAndPages() {
    WindowHarness h;
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    QCOMPARE(w.size(), QSize(940, 654));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w.geometry().center() - screen.center()).manhattanLength() <= 2);
    const std::pair<QWidget*, QRect> places[] = {
        {c.lblQRVDevice, {16, 32, 569, 33}},   {c.Image1, {600, 8, 328, 80}},
        {c.txtLog, {56, 560, 457, 81}},        {c.cmdClearLog, {528, 560, 97, 81}},
        {c.cbReadAllRegs, {640, 560, 89, 81}}, {c.cbWriteAllRegs, {736, 560, 89, 81}},
        {c.cbQuit, {840, 560, 89, 81}},        {c.cbReadRegs, {792, 504, 49, 33}},
        {c.cbWriteRegs, {848, 504, 49, 33}},   {c.lblRegName[5], {8, 16, 89, 17}},
        {c.lblRegAddr[5], {8, 32, 89, 17}},    {c.tbRegdata[5], {696, 24, 41, 27}},
        {c.updnRegData[5], {736, 24, 16, 25}}, {c.cbRead[5], {768, 24, 49, 25}},
        {c.cbWrite[5], {824, 24, 49, 25}},     {c.tabPageArea, {8, 122, 921, 431}},
        {c.lblBitName[47], {112, 8, 65, 17}},  {c.cbRegToggleBit[40], {616, 24, 67, 25}}};
    for (const auto& [widget, place] : places) QCOMPARE(widget->geometry(), place);
    for (int row = 0; row < 6; ++row)
      QCOMPARE(c.fmRegCtrls[row]->geometry(), QRect(24, 160 + 56 * row, 889, 57));
    QCOMPARE(c.lblLog->geometry(), QRect(QPoint(8, 560), c.lblLog->sizeHint()));
    QList<qreal> points;
    for (const QWidget* widget :
         std::initializer_list<QWidget*>{&w, c.lblQRVDevice, c.TabStrip1, c.lblRegName[0], c.lblRegAddr[0],
                                         c.cbRegToggleBit[0], c.tbRegdata[0], c.cmdClearLog, c.lblLog})
      points << widget->font().pointSizeF() * (widget->font().bold() ? -1 : 1);  // bold faces count negative
    QCOMPARE(points, QList<qreal>({8.25, -24, -9.75, -9.75, 7.5, -12, -12, -9.75, -12}));
    // The one face named besides the default is the one found, not a fallback.
    QCOMPARE(QFontInfo(c.lblLog->font()).styleName(), "Condensed Bold");
    QVERIFY(!c.Image1->pixmap().isNull() && c.Image1->hasScaledContents() && !w.windowIcon().isNull());
    QVERIFY(!c.TabStrip1->expanding() && !c.TabStrip1->drawBase() &&
            c.tabPageArea->frameShape() == QFrame::StyledPanel);
    QVERIFY(c.fmRegCtrls[0]->frameShape() == QFrame::Box && c.fmRegCtrls[0]->frameShadow() == QFrame::Sunken);
    QVERIFY(c.lblBitName[0]->alignment() == Qt::AlignCenter &&
            c.tbRegdata[0]->alignment() == Qt::AlignCenter);
    QVERIFY(c.txtLog->isReadOnly() && c.txtLog->lineWrapMode() == QPlainTextEdit::NoWrap &&
            c.txtLog->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);
    // Captions, and the names a screen reader gives the controls.
    QStringList shown;
    for (const QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             c.cmdClearLog, c.cbReadAllRegs, c.cbWriteAllRegs, c.cbQuit, c.cbReadRegs, c.cbWriteRegs})
      shown << button->text();
    for (const QWidget* widget :
         std::initializer_list<QWidget*>{c.Image1, c.TabStrip1, c.fmRegCtrls[2], c.tbRegdata[2],
                                         c.updnRegData[2], c.cbRead[2], c.txtLog, c.cbQuit})
      shown << widget->accessibleName();
    QCOMPARE(shown.join('|'),
             "Clear Log|Read All Registers|Write All Registers|Quit|Read Group|Write Group|regdiag "
             "logo|Register pages|Register row 2|Value of row 2|Step value of row 2|Read|Log|Quit");
    const QImage quit = c.cbQuit->grab().toImage();  // the caption is painted
    c.cbQuit->setText(QString());
    const QImage bare = c.cbQuit->grab().toImage();
    QVERIFY(bare != quit);
    QVERIFY(bare.pixelColor(0, 40) != bare.pixelColor(44, 40));  // and so is the face within its edge
    QVERIFY(c.cbReadRegs->isHidden() && c.cbWriteRegs->isHidden() && !c.Timer2->isActive() &&
            !c.Timer2->interval());
    // The map's texts and pages.
    QCOMPARE(w.windowTitle(), "Board Register Tool");
    // Markup shows literally (as rich text it would be narrower), and a byte
    // that is not UTF-8 as Latin-1.
    const QString heading = QString::fromLatin1("<b>Power</b> Controller \xB5");
    QCOMPARE(c.lblQRVDevice->text(), heading);
    QVERIFY(c.lblQRVDevice->sizeHint().width() >= c.lblQRVDevice->fontMetrics().horizontalAdvance(heading));
    QVERIFY(c.TabStrip1->count() == 4 && c.TabStrip1->tabText(0) + c.TabStrip1->tabText(3) == "ControlEmpty");
    QCOMPARE(
        c.lblRegName[0]->text() + c.lblRegAddr[1]->text() + c.lblBitName[7]->text() + c.lblBitName[0]->text(),
        "CONFIG@ reg addr 0x01ENSS0");
    for (int row = 0; row < 6; ++row) QCOMPARE(c.fmRegCtrls[row]->isHidden(), row >= 2);
    // A page shows the cache: edits and bit clicks of a register shown on two
    // pages meet on both; bits are green when set.
    h.Type(0, "a5");
    QCOMPARE(FaceColour(c.cbRegToggleBit[7]), QColor(0x00, 0xFF, 0x00));
    QCOMPARE(FaceColour(c.cbRegToggleBit[6]), QColor(0x7F, 0x7F, 0x7F));
    const QImage one = c.cbRegToggleBit[7]->grab().toImage();  // and show their digit
    c.cbRegToggleBit[7]->setText(QStringLiteral("0"));
    QVERIFY(c.cbRegToggleBit[7]->grab().toImage() != one);
    c.cbRegToggleBit[7]->setText(QStringLiteral("1"));
    h.SelectPage(2);  // 0x20, 0x21, 0x22 (no name), 0x23, 0x24, 0x00
    QCOMPARE(c.lblRegName[5]->text() + c.lblBitName[5 * 8 + 7]->text(), "CONFIGEN");
    QCOMPARE(c.lblRegName[2]->text() + c.lblBitName[2 * 8]->text(), QString());
    ExpectRow(h, 5, 0x00, 0xA5);
    QTest::mouseClick(c.cbRegToggleBit[5 * 8 + 1], Qt::LeftButton);
    ExpectRow(h, 5, 0x00, 0xA7);
    // A screen reader names a bit by its row and column, and tells its value.
    QStringList spoken;
    for (const int index : {5 * 8 + 7, 5 * 8 + 1, 2 * 8}) {
      QAccessibleInterface* bit = QAccessible::queryAccessibleInterface(c.cbRegToggleBit[index]);
      spoken << bit->text(QAccessible::Name) + "=" + bit->text(QAccessible::Value);
    }
    QCOMPARE(spoken.join('|'), "CONFIG bit 7 EN=1|CONFIG bit 1 SS1=1|bit 0=0");
    QTest::mouseClick(c.cbRegToggleBit[5 * 8 + 0], Qt::LeftButton);
    QCOMPARE(c.tbRegdata[5]->text(), "A6");
    h.SelectPage(3);  // no registers: every row hidden
    for (int row = 0; row < 6; ++row) QVERIFY(c.fmRegCtrls[row]->isHidden());
    h.SelectPage(0);
    QVERIFY(!c.fmRegCtrls[1]->isHidden() && c.fmRegCtrls[2]->isHidden());
    ExpectRow(h, 0, 0x00, 0xA6);
    // The last register shows like any other.
    WindowHarness last({.map = "TABNAME,Top\r\nREG,&H10,STATUS\r\nREG,&HFF,LAST\r\n"});
    const WindowControls& top = last.Controls();
    QVERIFY(!top.fmRegCtrls[1]->isHidden() && top.lblRegAddr[1]->text() == "@ reg addr 0xFF" &&
            top.lblRegName[1]->text() == "LAST");
    // LF and a lone CR end a line as CR LF does; a map that names no register says so.
    WindowHarness lf({.map = "TABNAME,Main\nREG,1,A\rREG,2,B\n"});
    QVERIFY(lf.Controls().TabStrip1->tabText(0) == "Main" && lf.Controls().lblRegName[1]->text() == "B");
    WindowHarness none({.plugBridge = false, .map = "TITLE,T\n"});
    QVERIFY(none.Window().LogContents().find("Register map " + none.Folder().toStdString() +
                                             "/tabdefs.csv names no register.\r\n") != std::string::npos);
  }

  void missingMapLeavesTheLaidOutWindow() {
    WindowHarness h({.writeMap = false});
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    QCOMPARE(h.Messages().Texts(), QStringList{"Configuration file (tabdefs.csv) not found."});
    QCOMPARE(w.windowTitle() + c.lblQRVDevice->text(),
             QStringLiteral("Defined in tabdefs.csv: TITLEBARDefined in tabdefs.csv: TITLE"));
    QVERIFY(c.TabStrip1->count() == 1 && c.TabStrip1->tabText(0).isEmpty());
    for (int row = 0; row < 6; ++row) {
      QCOMPARE(c.lblRegName[row]->text() + c.lblRegAddr[row]->text() + c.tbRegdata[row]->text() +
                   c.lblBitName[row * 8]->text() + c.cbRegToggleBit[row * 8]->text() +
                   QString::number(c.updnRegData[row]->value()),
               QStringLiteral("REGNAME@ reg addr 0xXX00BITNAME00"));
    }
    // Without a map every row stands for register 0x00 in the page fill.
    w.TabStrip1_Click();
    for (int row = 0; row < 6; ++row)
      QVERIFY(!c.fmRegCtrls[row]->isHidden() && c.lblRegAddr[row]->text() == "@ reg addr 0x00");
  }

  void logPaneAndPause() {
    WindowHarness h;
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    w.LogLine("first");
    w.LogLine("");
    w.LogText("two\r\nlines", "\r\n");
    QCOMPARE(w.LogContents(), "first\r\n\r\ntwo\r\nlines\r\n");
    // The view takes the entries a moment later, from the event loop.
    QTRY_COMPARE(c.txtLog->toPlainText(), QStringLiteral("first\n\ntwo\nlines\n"));
    // The user selects the text; the next entry still puts the caret at the end.
    c.txtLog->selectAll();
    w.LogLine("after");
    QTRY_COMPARE(c.txtLog->toPlainText(), "first\n\ntwo\nlines\nafter\n");
    QCOMPARE(c.txtLog->textCursor().position(), static_cast<int>(c.txtLog->toPlainText().size()));
    QVERIFY(!c.txtLog->textCursor().hasSelection());
    // Clear Log empties the log and the view, entries not yet shown included.
    w.LogLine("never shown");
    QTest::mouseClick(c.cmdClearLog, Qt::LeftButton);
    QTest::qWait(200);
    QVERIFY(w.LogContents().empty() && c.txtLog->toPlainText().isEmpty());
    // A pause serves the window's events until its tick.
    QTimer::singleShot(0, &w, [&] { c.TabStrip1->setCurrentIndex(1); });
    QVERIFY(w.Pause(10) && c.TabStrip1->currentIndex() == 1 && w.PauseHasElapsed() && !c.Timer1->isActive());
    // Quit ends every wait, nested ones included, and nothing is logged after.
    bool innerResult = true;
    QTimer::singleShot(5, &w, [&] {
      QTimer::singleShot(5, &w, [&] { c.cbQuit->click(); });
      innerResult = w.Pause(10000);
    });
    QVERIFY(!w.Pause(10000));
    QVERIFY(!innerResult && w.Unloaded() && !w.Pause(10));
    w.LogLine("after unload");
    QVERIFY(w.LogContents().empty());
  }

  // Typed keys go through the key rules; keys that would edit behind their
  // back change nothing; pasted text is typed through them; the spinner
  // steps the same value.
  void valueEditingKeepsTheRowInStep() {
    WindowHarness h;
    const WindowControls c = h.Controls();
    auto* box = c.tbRegdata[0];
    box->setCursorPosition(0);
    QTest::keyClicks(box, "3f");  // over the high digit, then over the low one
    QVERIFY(box->text() == "3F" && box->cursorPosition() == 2);
    ExpectRow(h, 0, 0x00, 0x3F);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), "3");
    ExpectRow(h, 0, 0x00, 0x03);
    box->selectAll();
    QTest::keyClick(box, 'c');  // the selection becomes the digit
    QCOMPARE(box->text(), "C");
    QTest::keyClick(box, Qt::Key_Escape);  // "00", then a 0 typed over its high digit
    QVERIFY(box->text() == "00" && box->cursorPosition() == 1);
    ExpectRow(h, 0, 0x00, 0);
    QApplication::clipboard()->setText("12");
    h.Type(1, "5a");
    // Ctrl+B: B is a hex digit, but not with Ctrl.
    for (const QKeyCombination key :
         {Qt::NoModifier | Qt::Key_Return, Qt::NoModifier | Qt::Key_G, Qt::NoModifier | Qt::Key_Delete,
          Qt::CTRL | Qt::Key_V, Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Y,
          Qt::CTRL | Qt::Key_Backspace, Qt::CTRL | Qt::Key_Delete, Qt::CTRL | Qt::Key_B}) {
      for (const bool selected : {false, true}) {  // the caret between the digits, then both selected
        c.tbRegdata[1]->setCursorPosition(1);
        if (selected) c.tbRegdata[1]->selectAll();
        QTest::keyClick(c.tbRegdata[1], key.key(), key.keyboardModifiers());
        QVERIFY2(c.tbRegdata[1]->text() == "5A", qPrintable(QKeySequence(key).toString()));
      }
    }
    ExpectRow(h, 1, 0x01, 0x5A);
    c.tbRegdata[1]->setCursorPosition(1);
    QTest::keyClick(c.tbRegdata[1], Qt::Key_H, Qt::ControlModifier);  // Ctrl+H types the backspace character
    ExpectRow(h, 1, 0x01, 0x0A);
    // The box's own menu offers Copy and Paste only when there is something to take.
    QApplication::clipboard()->clear();
    bool offered = true;
    QTimer::singleShot(0, box, [&offered] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      offered =
          menu == nullptr || menu->actions().value(0)->isEnabled() || menu->actions().value(1)->isEnabled();
      if (menu != nullptr) menu->close();
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(4, 4), box->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(box, &click);
    QTRY_VERIFY(!offered);
    // Characters that are not hex digits are refused on the way (only e and d of "hello").
    for (const auto& [pasted, expected] : {std::pair{"hello, world!", "ED"}, {"0x7f", "7F"}, {"zzz", "00"}}) {
      QTest::keyClick(box, Qt::Key_Escape);
      box->setCursorPosition(2);
      QApplication::clipboard()->setText(QString::fromLatin1(pasted));
      QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
      QVERIFY2(box->text() == QString::fromLatin1(expected), pasted);
      ExpectRow(h, 0, 0x00, regdiag::ParseHexText(expected));
    }
    // The spinner steps by one, whatever asks, and stops at its ends.
    QSpinBox* spinner = c.updnRegData[0];
    h.Type(0, "0f");
    QTest::keyClick(spinner, Qt::Key_PageUp);  // a page is one step too
    ExpectRow(h, 0, 0x00, 0x10);
    h.Type(0, "c");
    QWheelEvent notch({4, 4}, spinner->mapToGlobal(QPointF(4, 4)), {}, {0, -120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(spinner, &notch);  // and so is a notch of the wheel with Ctrl
    QCOMPARE(c.tbRegdata[0]->text(), "0B");
    ExpectRow(h, 0, 0x00, 0x0B);
    h.Type(0, "0");
    QTest::keyClick(spinner, Qt::Key_Down);
    ExpectRow(h, 0, 0x00, 0);
    h.Type(0, "ff");
    QTest::keyClick(spinner, Qt::Key_Up, Qt::ControlModifier);
    ExpectRow(h, 0, 0x00, 255);
  }

  // A row follows the map's rules: Write is off for a read-only register and
  // Read for a write-only one; the value box's tooltip and accessible
  // description list the fields with the value as it changes. The page's
  // menu loads the reset values, sending nothing, when the map gives any.
  void rowsFollowAccessFieldsAndResetValues() {
    WindowHarness h({.map =
                         "TABNAME,Fields\r\nREG,1,SYS_CTRL\r\nRESET,&H02\r\nFIELD,CLKSEL,3,2,RW,0=INTERNAL,"
                         "1=EXTERNAL,2=<b>PLL</b>\r\nFIELD,ADC_EN,1,1\r\nREG,0,CHIP_ID\r\nACCESS,RO\r\nREG,4,"
                         "INT_CLEAR\r\nACCESS,WO\r\nFIELD,C,4,4,W1C\r\nTABNAME,Plain\r\nREG,&H10,STATUS\r\n"});
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    const auto states = [&c] {
      QString text;
      for (int row = 0; row < 3; ++row)
        text += QString(c.cbRead[row]->isEnabled() ? "R" : "-") + (c.cbWrite[row]->isEnabled() ? "W" : "-");
      return text;
    };
    QCOMPARE(states(), "RWR--W");
    QCOMPARE(c.lblBitName[0 * 8 + 3]->text() + c.lblBitName[1]->text(),
             "CLKSEL1ADC_EN");  // named by the fields
    QCOMPARE(c.tbRegdata[0]->accessibleDescription(), "CLKSEL = 0 (INTERNAL)\nADC_EN = 0");
    QCOMPARE(c.tbRegdata[0]->toolTip(), c.tbRegdata[0]->accessibleDescription());
    h.Type(0, "0a");
    QCOMPARE(c.tbRegdata[0]->accessibleDescription(), "CLKSEL = 2 (<b>PLL</b>)\nADC_EN = 1");
    QVERIFY(c.tbRegdata[0]->toolTip().contains("(&lt;b&gt;PLL&lt;/b&gt;)\nADC_EN = 1"));  // shown literally
    QTest::mouseClick(c.cbRegToggleBit[2], Qt::LeftButton);
    QCOMPARE(c.tbRegdata[0]->toolTip(), "CLKSEL = 3\nADC_EN = 1");
    QVERIFY(c.tbRegdata[1]->toolTip().isEmpty() && c.tbRegdata[1]->accessibleDescription().isEmpty());
    h.SelectPage(1);
    QVERIFY(c.tbRegdata[0]->toolTip().isEmpty() && c.cbRead[0]->isEnabled() && c.cbWrite[0]->isEnabled());
    const std::uint64_t transfers = h.Library().TransferCount();
    ChooseFile(c.fmRegCtrls[0], "Load Reset Values", QString());
    QVERIFY(w.CachedValue(0x01) == 0x02 &&
            h.NewLog() == "Loaded 1 reset value (not yet written to the chip)\r\n");
    h.SelectPage(0);
    QCOMPARE(c.tbRegdata[0]->text() + c.tbRegdata[0]->toolTip(), "02CLKSEL = 0 (INTERNAL)\nADC_EN = 1");
    QCOMPARE(h.Library().TransferCount(), transfers);
    // Write All skips the read-only register and one whose value is not known
    // yet, and sends W1C bits as 0, which the row then shows; Read All skips
    // the write-only one.
    QVERIFY(h.ShowAndStart());
    h.Type(2, "1f");
    QTest::mouseClick(c.cbWriteAllRegs, Qt::LeftButton);
    QTest::mouseClick(c.cbReadAllRegs, Qt::LeftButton);
    QCOMPARE(h.NewLog(),
             "Writing all device registers:\r\nSkipping register 0x00: read-only\r\nWriting register 0x01 = 0x02 "
             "successful\r\nWriting register 0x04 = 0x0F successful\r\nSkipping register 0x10: value not known\r\n\r\n"
             "Reading all device registers:\r\n"
             "Reading register 0x00 = 0x00 successful\r\nReading register 0x01 = 0x02 successful\r\nSkipping "
             "register 0x04: write-only\r\nReading register 0x10 = 0x00 successful\r\n\r\n");
    QCOMPARE(c.tbRegdata[2]->text(), "0F");
    WindowHarness plain;
    QVERIFY(!plain.Window().findChild<QAction*>("actLoadResetValues")->isVisible());
  }

  void logAndValuesTravelThroughFilesAndTheCommandLine() {
    WindowHarness h;
    auto& w = h.Window();
    const WindowControls c = h.Controls();
    const QString folder = h.Folder() + "/";
    w.LogLine("Reading register 0x00 = 0x00 successful");
    ChooseFile(c.txtLog->viewport(), "Save Log As...", folder + "session.log");
    QCOMPARE(Bytes(folder + "session.log"), QByteArray("Reading register 0x00 = 0x00 successful\r\n"));
    h.NewLog();
    // Values saved by the window load in regdiag-cli (on its own simulated
    // bridge, with the window's map), and the other way round: the window
    // takes them into the cache and the page, and sends nothing.
    const auto cli = [&folder](const QStringList& arguments) {
      QProcess run;
      run.start(REGDIAG_CLI, QStringList{"--sim", "--map", folder + "tabdefs.csv"} + arguments);
      return run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
    };
    // Only values read, written, edited or loaded are saved, and only when
    // there is one.
    QVERIFY(!w.SaveRegisterValues(folder + "window.csv") && !QFile::exists(folder + "window.csv"));
    h.Type(1, "7e");
    ChooseFile(c.fmRegCtrls[0], "Save Register Values...", folder + "window.csv");
    QCOMPARE(Bytes(folder + "window.csv"), QByteArray("address,name,value\n0x01,LIMITS,0x7E\n"));
    QCOMPARE(h.NewLog(), "Saved 1 register value to window.csv\r\n");
    QCOMPARE(cli({"load", folder + "window.csv", "--verify"}), 0);
    QCOMPARE(cli({"save", folder + "cli.csv"}), 0);
    ChooseFile(c.tabPageArea, "Load Register Values...", folder + "cli.csv");
    QVERIFY(c.tbRegdata[0]->text() + c.tbRegdata[1]->text() == "A712" && w.CachedValue(0x10) == 0x64);
    QCOMPARE(h.NewLog(), "Loaded 8 register values from cli.csv (not yet written to the chip)\r\n");
    // Names that differ from the map are counted; a file refused anywhere,
    // one that is not there, or one that cannot be written changes nothing.
    QFile other(folder + "other.csv");
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("address,name,value\r\n0x01,OTHER,0x21\r\n") > 0);
    other.close();
    QVERIFY(w.LoadRegisterValues(other.fileName()));
    QCOMPARE(h.NewLog(),
             "Loaded 1 register value from other.csv (not yet written to the chip); 1 name differs from the "
             "map\r\n");
    // A box lists 20 problems at most, however many the file holds.
    QVERIFY(other.open(QIODevice::Append) &&
            other.write(QByteArray("0x01,LIMITS,0x22\r\n").repeated(100000)) > 0);
    other.close();
    QVERIFY(!w.LoadRegisterValues(other.fileName()) && !w.LoadRegisterValues(folder + "none.csv") &&
            !w.SaveLogAs(folder + "none/session.log") && !w.SaveRegisterValues(folder + "none/values.csv"));
    const QStringList texts = h.Messages().Texts();
    QCOMPARE(texts.size(), 5);
    QCOMPARE(texts[0], "No register value to save yet.");
    QVERIFY(texts[1].contains(":\nline 3: register 0x01 given twice (first on line 2)\nline 4: ") &&
            texts[1].count('\n') == 21 && texts[1].endsWith("\nand 99980 more"));
    QVERIFY(texts[2].endsWith("none.csv:\nno such file"));
    QVERIFY(texts[3].startsWith("Log not saved to " + folder + "none/session.log:\n"));
    QVERIFY(texts[4].startsWith("Register values not saved to"));
    QVERIFY(c.tbRegdata[1]->text() == "21" && h.NewLog().empty());
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
