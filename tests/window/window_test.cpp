// The window with no bridge talked to: layout, map texts, pages, a missing map,
// the log pane and the pause, a row's four places kept in step through editing,
// and files through the context menus, to and from regdiag-cli.
#include "core/text/hex_value.h"
#include "support/window_harness.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

using regdiag::DiagWindow;
using regdiag::test::WindowHarness;

namespace {

// Checks that the row shows `value` in all four places.
void ExpectRow(const DiagWindow& w, int row, int address, int value) {
  QString bits;
  for (int bit = 7; bit >= 0; --bit) bits += w.cbRegToggleBit[row * 8 + bit]->text();
  QCOMPARE(bits, QString::number(value, 2).rightJustified(8, QChar('0')));
  QCOMPARE(regdiag::ParseHexText(w.tbRegdata[row]->text().toStdString()), value);
  QCOMPARE(w.updnRegData[row]->value(), value);
  QCOMPARE(w.Cache[address], value);
  QVERIFY(!w.IgnoreSpinnerChange);
}

QColor FaceColour(QWidget* button) {
  const QImage image = button->grab().toImage();
  return image.pixelColor(4, image.height() - 5);
}

// Right-clicks `widget`, chooses `action` in its menu, and answers the file
// dialog that follows with `path`.
void ChooseFile(QWidget* widget, const QString& action, const QString& path) {
  QTimer::singleShot(0, widget, [action, path] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QTimer::singleShot(0, menu, [action, path] {
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
    QCOMPARE(w.size(), QSize(940, 654));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w.geometry().center() - screen.center()).manhattanLength() <= 2);
    const std::pair<QWidget*, QRect> places[] = {
        {w.lblQRVDevice, {16, 32, 569, 33}},   {w.Image1, {600, 8, 328, 80}},
        {w.txtLog, {56, 560, 457, 81}},        {w.cmdClearLog, {528, 560, 97, 81}},
        {w.cbReadAllRegs, {640, 560, 89, 81}}, {w.cbWriteAllRegs, {736, 560, 89, 81}},
        {w.cbQuit, {840, 560, 89, 81}},        {w.cbReadRegs, {792, 504, 49, 33}},
        {w.cbWriteRegs, {848, 504, 49, 33}},   {w.lblRegName[5], {8, 16, 89, 17}},
        {w.lblRegAddr[5], {8, 32, 89, 17}},    {w.tbRegdata[5], {696, 24, 41, 27}},
        {w.updnRegData[5], {736, 24, 16, 25}}, {w.cbRead[5], {768, 24, 49, 25}},
        {w.cbWrite[5], {824, 24, 49, 25}},     {w.tabPageArea, {8, 122, 921, 431}},
        {w.lblBitName[47], {112, 8, 65, 17}},  {w.cbRegToggleBit[40], {616, 24, 67, 25}}};
    for (const auto& [widget, place] : places) QCOMPARE(widget->geometry(), place);
    for (int row = 0; row < 6; ++row)
      QCOMPARE(w.fmRegCtrls[row]->geometry(), QRect(24, 160 + 56 * row, 889, 57));
    QCOMPARE(w.lblLog->geometry(), QRect(QPoint(8, 560), w.lblLog->sizeHint()));
    QList<qreal> points;
    for (const QWidget* widget :
         std::initializer_list<QWidget*>{&w, w.lblQRVDevice, w.TabStrip1, w.lblRegName[0], w.lblRegAddr[0],
                                         w.cbRegToggleBit[0], w.tbRegdata[0], w.cmdClearLog, w.lblLog})
      points << widget->font().pointSizeF() * (widget->font().bold() ? -1 : 1);  // bold faces count negative
    QCOMPARE(points, QList<qreal>({8.25, -24, -9.75, -9.75, 7.5, -12, -12, -9.75, -12}));
    // The one face named besides the default is the one found, not a fallback.
    QCOMPARE(QFontInfo(w.lblLog->font()).styleName(), "Condensed Bold");
    QVERIFY(!w.Image1->pixmap().isNull() && w.Image1->hasScaledContents() && !w.windowIcon().isNull());
    QVERIFY(!w.TabStrip1->expanding() && !w.TabStrip1->drawBase() &&
            w.tabPageArea->frameShape() == QFrame::StyledPanel);
    QVERIFY(w.fmRegCtrls[0]->frameShape() == QFrame::Box && w.fmRegCtrls[0]->frameShadow() == QFrame::Sunken);
    QVERIFY(w.lblBitName[0]->alignment() == Qt::AlignCenter &&
            w.tbRegdata[0]->alignment() == Qt::AlignCenter);
    QVERIFY(w.txtLog->isReadOnly() && w.txtLog->lineWrapMode() == QPlainTextEdit::NoWrap &&
            w.txtLog->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);
    // Captions, and the names a screen reader gives the controls.
    QStringList shown;
    for (const QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             w.cmdClearLog, w.cbReadAllRegs, w.cbWriteAllRegs, w.cbQuit, w.cbReadRegs, w.cbWriteRegs})
      shown << button->text();
    for (const QWidget* widget :
         std::initializer_list<QWidget*>{w.Image1, w.TabStrip1, w.fmRegCtrls[2], w.tbRegdata[2],
                                         w.updnRegData[2], w.cbRead[2], w.txtLog, w.cbQuit})
      shown << widget->accessibleName();
    QCOMPARE(shown.join('|'),
             "Clear Log|Read All Registers|Write All Registers|Quit|Read Group|Write Group|regdiag "
             "logo|Register pages|Register row 2|Value of row 2|Step value of row 2|Read|Log|Quit");
    const QImage quit = w.cbQuit->grab().toImage();  // the caption is painted
    w.cbQuit->setText(QString());
    const QImage bare = w.cbQuit->grab().toImage();
    QVERIFY(bare != quit);
    QVERIFY(bare.pixelColor(0, 40) != bare.pixelColor(44, 40));  // and so is the face within its edge
    QVERIFY(w.cbReadRegs->isHidden() && w.cbWriteRegs->isHidden() && !w.Timer2.isActive() &&
            !w.Timer2.interval());
    // The map's texts and pages.
    QCOMPARE(w.windowTitle(), "Board Register Tool");
    // Markup shows literally (as rich text it would be narrower), and a byte
    // that is not UTF-8 as Latin-1.
    const QString heading = QString::fromLatin1("<b>Power</b> Controller \xB5");
    QCOMPARE(w.lblQRVDevice->text(), heading);
    QVERIFY(w.lblQRVDevice->sizeHint().width() >= w.lblQRVDevice->fontMetrics().horizontalAdvance(heading));
    QVERIFY(w.TabStrip1->count() == 4 && w.TabStrip1->tabText(0) + w.TabStrip1->tabText(3) == "ControlEmpty");
    QCOMPARE(
        w.lblRegName[0]->text() + w.lblRegAddr[1]->text() + w.lblBitName[7]->text() + w.lblBitName[0]->text(),
        "CONFIG@ reg addr 0x01ENSS0");
    for (int row = 0; row < 6; ++row) QCOMPARE(w.fmRegCtrls[row]->isHidden(), row >= 2);
    // A page shows the cache: edits and bit clicks of a register shown on two
    // pages meet on both; bits are green when set.
    h.Type(0, "a5");
    QCOMPARE(FaceColour(w.cbRegToggleBit[7]), QColor(0x00, 0xFF, 0x00));
    QCOMPARE(FaceColour(w.cbRegToggleBit[6]), QColor(0x7F, 0x7F, 0x7F));
    const QImage one = w.cbRegToggleBit[7]->grab().toImage();  // and show their digit
    w.cbRegToggleBit[7]->setText(QStringLiteral("0"));
    QVERIFY(w.cbRegToggleBit[7]->grab().toImage() != one);
    w.cbRegToggleBit[7]->setText(QStringLiteral("1"));
    h.SelectPage(2);  // 0x20, 0x21, 0x22 (no name), 0x23, 0x24, 0x00
    QCOMPARE(w.lblRegName[5]->text() + w.lblBitName[5 * 8 + 7]->text(), "CONFIGEN");
    QCOMPARE(w.lblRegName[2]->text() + w.lblBitName[2 * 8]->text(), QString());
    ExpectRow(w, 5, 0x00, 0xA5);
    QTest::mouseClick(w.cbRegToggleBit[5 * 8 + 1], Qt::LeftButton);
    ExpectRow(w, 5, 0x00, 0xA7);
    QTest::mouseClick(w.cbRegToggleBit[5 * 8 + 0], Qt::LeftButton);
    QCOMPARE(w.tbRegdata[5]->text(), "A6");
    h.SelectPage(3);  // no registers: every row hidden
    for (int row = 0; row < 6; ++row) QVERIFY(w.fmRegCtrls[row]->isHidden());
    h.SelectPage(0);
    QVERIFY(!w.fmRegCtrls[1]->isHidden() && w.fmRegCtrls[2]->isHidden());
    ExpectRow(w, 0, 0x00, 0xA6);
    w.Map.RowAddress[1][1] = 0xFF;  // the last register shows like any other
    h.SelectPage(1);
    QVERIFY(!w.fmRegCtrls[1]->isHidden() && w.lblRegAddr[1]->text() == "@ reg addr 0xFF");
  }

  void missingMapLeavesTheLaidOutWindow() {
    WindowHarness h({.writeMap = false});
    auto& w = h.Window();
    QCOMPARE(h.Messages().Texts(), QStringList{"Configuration file (tabdefs.csv) not found."});
    QCOMPARE(w.windowTitle() + w.lblQRVDevice->text(),
             QStringLiteral("Defined in tabdefs.csv: TITLEBARDefined in tabdefs.csv: TITLE"));
    QVERIFY(w.TabStrip1->count() == 1 && w.TabStrip1->tabText(0).isEmpty());
    for (int row = 0; row < 6; ++row) {
      QCOMPARE(w.lblRegName[row]->text() + w.lblRegAddr[row]->text() + w.tbRegdata[row]->text() +
                   w.lblBitName[row * 8]->text() + w.cbRegToggleBit[row * 8]->text() +
                   QString::number(w.updnRegData[row]->value()),
               QStringLiteral("REGNAME@ reg addr 0xXX00BITNAME00"));
    }
    // Without a map every row stands for register 0x00 in the page fill.
    w.TabStrip1_Click();
    for (int row = 0; row < 6; ++row)
      QVERIFY(!w.fmRegCtrls[row]->isHidden() && w.lblRegAddr[row]->text() == "@ reg addr 0x00");
  }

  void logPaneAndPause() {
    WindowHarness h;
    auto& w = h.Window();
    w.LogLine("first");
    w.LogLine("");
    w.LogText("two\r\nlines", "\r\n");
    QCOMPARE(w.LogContents(), "first\r\n\r\ntwo\r\nlines\r\n");
    // The view takes the entries a moment later, from the event loop.
    QTRY_COMPARE(w.txtLog->toPlainText(), QStringLiteral("first\n\ntwo\nlines\n"));
    // The user selects the text; the next entry still puts the caret at the end.
    w.txtLog->selectAll();
    w.LogLine("after");
    QTRY_COMPARE(w.txtLog->toPlainText(), "first\n\ntwo\nlines\nafter\n");
    QCOMPARE(w.txtLog->textCursor().position(), static_cast<int>(w.txtLog->toPlainText().size()));
    QVERIFY(!w.txtLog->textCursor().hasSelection());
    // Clear Log empties the log and the view, entries not yet shown included.
    w.LogLine("never shown");
    QTest::mouseClick(w.cmdClearLog, Qt::LeftButton);
    QTest::qWait(200);
    QVERIFY(w.LogContents().empty() && w.txtLog->toPlainText().isEmpty());
    // A pause serves the window's events until its tick.
    QTimer::singleShot(0, &w, [&] { w.TabStrip1->setCurrentIndex(1); });
    QVERIFY(w.Pause(10) && w.TabStrip1->currentIndex() == 1 && w.PauseElapsed && !w.Timer1.isActive());
    // Quit ends every wait, nested ones included, and nothing is logged after.
    bool innerResult = true;
    QTimer::singleShot(5, &w, [&] {
      QTimer::singleShot(5, &w, [&] { w.cbQuit->click(); });
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
    auto& w = h.Window();
    auto* box = w.tbRegdata[0];
    box->setCursorPosition(0);
    QTest::keyClicks(box, "3f");  // over the high digit, then over the low one
    QVERIFY(box->text() == "3F" && box->cursorPosition() == 2);
    ExpectRow(w, 0, 0x00, 0x3F);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), "3");
    ExpectRow(w, 0, 0x00, 0x03);
    box->selectAll();
    QTest::keyClick(box, 'c');  // the selection becomes the digit
    QCOMPARE(box->text(), "C");
    QTest::keyClick(box, Qt::Key_Escape);  // "00", then a 0 typed over its high digit
    QVERIFY(box->text() == "00" && box->cursorPosition() == 1);
    ExpectRow(w, 0, 0x00, 0);
    QApplication::clipboard()->setText("12");
    h.Type(1, "5a");
    // Ctrl+B: B is a hex digit, but not with Ctrl.
    for (const QKeyCombination key :
         {Qt::NoModifier | Qt::Key_Return, Qt::NoModifier | Qt::Key_G, Qt::NoModifier | Qt::Key_Delete,
          Qt::CTRL | Qt::Key_V, Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Y,
          Qt::CTRL | Qt::Key_Backspace, Qt::CTRL | Qt::Key_Delete, Qt::CTRL | Qt::Key_B}) {
      for (const bool selected : {false, true}) {  // the caret between the digits, then both selected
        w.tbRegdata[1]->setCursorPosition(1);
        if (selected) w.tbRegdata[1]->selectAll();
        QTest::keyClick(w.tbRegdata[1], key.key(), key.keyboardModifiers());
        QVERIFY2(w.tbRegdata[1]->text() == "5A", qPrintable(QKeySequence(key).toString()));
      }
    }
    ExpectRow(w, 1, 0x01, 0x5A);
    w.tbRegdata[1]->setCursorPosition(1);
    QTest::keyClick(w.tbRegdata[1], Qt::Key_H, Qt::ControlModifier);  // Ctrl+H types the backspace character
    ExpectRow(w, 1, 0x01, 0x0A);
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
      ExpectRow(w, 0, 0x00, regdiag::ParseHexText(expected));
    }
    // The spinner steps by one, whatever asks, and stops at its ends.
    QSpinBox* spinner = w.updnRegData[0];
    h.Type(0, "0f");
    QTest::keyClick(spinner, Qt::Key_PageUp);  // a page is one step too
    ExpectRow(w, 0, 0x00, 0x10);
    h.Type(0, "c");
    QWheelEvent notch({4, 4}, spinner->mapToGlobal(QPointF(4, 4)), {}, {0, -120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(spinner, &notch);  // and so is a notch of the wheel with Ctrl
    QCOMPARE(w.tbRegdata[0]->text(), "0B");
    ExpectRow(w, 0, 0x00, 0x0B);
    h.Type(0, "0");
    QTest::keyClick(spinner, Qt::Key_Down);
    ExpectRow(w, 0, 0x00, 0);
    h.Type(0, "ff");
    QTest::keyClick(spinner, Qt::Key_Up, Qt::ControlModifier);
    ExpectRow(w, 0, 0x00, 255);
  }

  void logAndValuesTravelThroughFilesAndTheCommandLine() {
    WindowHarness h;
    auto& w = h.Window();
    const QString folder = h.Folder() + "/";
    w.LogLine("Reading register 0x00 = 0x00 successful");
    ChooseFile(w.txtLog->viewport(), "Save Log As...", folder + "session.log");
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
    h.Type(1, "7e");
    ChooseFile(w.fmRegCtrls[0], "Save Register Values...", folder + "window.csv");
    QCOMPARE(Bytes(folder + "window.csv"),
             QByteArray(
                 "address,name,value\n0x00,CONFIG,0x00\n0x01,LIMITS,0x7E\n0x05,SPARE,0x00\n0x10,STATUS,0x00\n"
                 "0x20,R20,0x00\n0x21,R21,0x00\n0x23,R23,0x00\n0x24,R24,0x00\n"));
    QCOMPARE(cli({"load", folder + "window.csv", "--verify"}), 0);
    QCOMPARE(cli({"save", folder + "cli.csv"}), 0);
    ChooseFile(w.tabPageArea, "Load Register Values...", folder + "cli.csv");
    QVERIFY(w.tbRegdata[0]->text() + w.tbRegdata[1]->text() == "A712" && w.Cache[0x10] == 0x64);
    QCOMPARE(h.NewLog(), "Loaded 8 register values from cli.csv (not yet written to the chip)\r\n");
    // Names that differ from the map are counted; a file refused anywhere,
    // one that is not there, or one that cannot be written changes nothing.
    QFile other(folder + "other.csv");
    QVERIFY(other.open(QIODevice::WriteOnly) && other.write("address,name,value\r\n0x01,OTHER,0x21\r\n") > 0);
    other.close();
    QVERIFY(w.LoadRegisterValues(other.fileName()));
    QCOMPARE(h.NewLog(),
             "Loaded 1 register values from other.csv (not yet written to the chip); 1 names differ "
             "from the map\r\n");
    QVERIFY(other.open(QIODevice::Append) && other.write("0x01,LIMITS,0x22\r\n") > 0);
    other.close();
    QVERIFY(!w.LoadRegisterValues(other.fileName()) && !w.LoadRegisterValues(folder + "none.csv") &&
            !w.SaveLogAs(folder + "none/session.log") && !w.SaveRegisterValues(folder + "none/values.csv"));
    QCOMPARE(h.Messages().Texts().size(), 4);
    QVERIFY2(h.Messages().Texts()[0].contains("\nline 3: "), qPrintable(h.Messages().Texts()[0]));
    QVERIFY(h.Messages().Texts()[1].endsWith("none.csv:\nno such file"));
    QVERIFY(h.Messages().Texts()[2].startsWith("Log not saved to " + folder + "none/session.log:\n"));
    QVERIFY(h.Messages().Texts()[3].startsWith("Register values not saved to"));
    QVERIFY(w.tbRegdata[1]->text() == "21" && h.NewLog().empty());
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
