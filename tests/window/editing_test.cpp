// A row's four places (hex text, bit buttons, spinner, cache entry) stay in
// step through typing, pasting, stepping, toggling and page switches, on the
// real widgets.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QWheelEvent>

#include <functional>

#include "editing/core/hex_value.h"
#include "support/window_harness.h"
#include "window/hex_entry_box.h"

using regdiag::DiagWindow;
using regdiag::test::WindowHarness;
using SetValue = std::function<void(WindowHarness&)>;
Q_DECLARE_METATYPE(SetValue)

namespace {

QString Bits(const DiagWindow& w, int row) {
  QString bits;
  for (int bit = 7; bit >= 0; --bit) bits += w.cbRegToggleBit[row * 8 + bit]->text();
  return bits;
}

// Checks that the row shows `value` in all four places.
void ExpectRow(const DiagWindow& w, int row, int address, int value) {
  QCOMPARE(regdiag::ParseHexText(w.tbRegdata[row]->text().toStdString()), value);
  QCOMPARE(w.updnRegData[row]->value(), value);
  QCOMPARE(w.Cache[address], static_cast<std::int16_t>(value));
  QString expected;
  for (int bit = 7; bit >= 0; --bit) expected += (value >> bit) & 1 ? QChar('1') : QChar('0');
  QCOMPARE(Bits(w, row), expected);
  QVERIFY(!w.IgnoreSpinnerChange);
}

void Click(regdiag::HexEntryBox* box, int caret) {
  box->setFocus();
  box->setCursorPosition(caret);
}

QColor CentreColour(QWidget* button) {
  const QImage image = button->grab().toImage();
  return image.pixelColor(4, image.height() - 5);
}

}  // namespace

class EditingTest : public QObject {
  Q_OBJECT

 private slots:
  void typedKeysFollowTheRulesOnTheRealBox();
  void ignoredKeysChangeNothing_data();
  void ignoredKeysChangeNothing();
  void pastedTextIsTypedThroughTheRules_data();
  void pastedTextIsTypedThroughTheRules();
  void spinnerStepsKeepTheRowInStep();
  void spinnerStepsByOneForEveryKeyAndWheel_data();
  void spinnerStepsByOneForEveryKeyAndWheel();
  void valueSetByTheProgramPutsTheCaretAtTheStart_data();
  void valueSetByTheProgramPutsTheCaretAtTheStart();
  void bitToggleKeepsTheRowInStepAndShowsColours();
  void pageSwitchKeepsEditsAndSharedRegisters();
};

void EditingTest::typedKeysFollowTheRulesOnTheRealBox() {
  WindowHarness h;
  auto& w = h.Window();
  auto* box = w.tbRegdata[0];
  Click(box, 0);
  QTest::keyClicks(box, QStringLiteral("3f"));  // D2 then D5
  QCOMPARE(box->text(), QStringLiteral("3F"));
  QCOMPARE(box->cursorPosition(), 2);
  ExpectRow(w, 0, 0x00, 0x3F);
  QTest::keyClick(box, 'a');  // D4: shifts left
  QCOMPARE(box->text(), QStringLiteral("FA"));
  ExpectRow(w, 0, 0x00, 0xFA);
  QTest::keyClick(box, Qt::Key_Backspace);
  QCOMPARE(box->text(), QStringLiteral("F"));
  ExpectRow(w, 0, 0x00, 0x0F);
  box->selectAll();
  QTest::keyClick(box, 'c');  // D1: the selection becomes the digit
  QCOMPARE(box->text(), QStringLiteral("C"));
  ExpectRow(w, 0, 0x00, 0x0C);
  QTest::keyClick(box, Qt::Key_Escape);  // K4 then D2
  QCOMPARE(box->text(), QStringLiteral("00"));
  QCOMPARE(box->cursorPosition(), 1);
  ExpectRow(w, 0, 0x00, 0);
}

void EditingTest::ignoredKeysChangeNothing_data() {
  QTest::addColumn<int>("key");
  const auto add = [](QKeyCombination key) {
    QTest::newRow(qPrintable(QKeySequence(key).toString())) << key.toCombined();
  };
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_G, Qt::Key_Minus, Qt::Key_Delete})
    add(key);
  // Ctrl+B: B is a hex digit, but not with Ctrl.
  for (const Qt::Key key :
       {Qt::Key_V, Qt::Key_X, Qt::Key_Z, Qt::Key_Y, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_B}) {
    add(Qt::CTRL | key);
  }
}

void EditingTest::ignoredKeysChangeNothing() {
  QFETCH(int, key);
  const auto typed = QKeyCombination::fromCombined(key);
  WindowHarness h;
  auto& w = h.Window();
  auto* box = w.tbRegdata[1];
  QApplication::clipboard()->setText(QStringLiteral("12"));
  Click(box, 2);
  QTest::keyClicks(box, QStringLiteral("5a"));
  for (const bool selected : {false, true}) {  // the caret between the digits, then both selected
    box->setCursorPosition(1);
    if (selected) box->selectAll();
    QTest::keyClick(box, typed.key(), typed.keyboardModifiers());
    QCOMPARE(box->text(), QStringLiteral("5A"));
  }
  ExpectRow(w, 1, 0x01, 0x5A);
}

void EditingTest::pastedTextIsTypedThroughTheRules_data() {
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("expected");
  QTest::newRow("long hex") << "123456789ABCDEF" << "EF";
  QTest::newRow("not hex") << "hello, world!" << "ED";  // only e and d are hex digits
  QTest::newRow("value with prefix") << "0x7f" << "7F";
  QTest::newRow("nothing usable") << "zzz" << "00";
  QTest::newRow("huge number") << "FFFFFFFFFFFFFFFFFFFFFFFF" << "FF";
}

void EditingTest::pastedTextIsTypedThroughTheRules() {
  QFETCH(QString, pasted);
  QFETCH(QString, expected);
  WindowHarness h;
  auto& w = h.Window();
  auto* box = w.tbRegdata[0];
  Click(box, 2);
  QApplication::clipboard()->setText(pasted);
  QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
  // Whatever came in, the row holds one or two hex digits, in step.
  QVERIFY(regdiag::IsRowHexText(box->text().toStdString()));
  const int value = regdiag::ParseHexText(box->text().toStdString());
  QVERIFY(value >= 0 && value <= 255);
  ExpectRow(w, 0, 0x00, value);
  QCOMPARE(box->text(), expected);
}

void EditingTest::spinnerStepsKeepTheRowInStep() {
  WindowHarness h;
  auto& w = h.Window();
  auto* box = w.tbRegdata[0];
  Click(box, 2);
  QTest::keyClicks(box, QStringLiteral("0f"));
  w.updnRegData[0]->stepUp();
  QCOMPARE(box->text(), QStringLiteral("10"));
  ExpectRow(w, 0, 0x00, 0x10);
  box->selectAll();
  QTest::keyClick(box, 'c');  // one digit: C
  w.updnRegData[0]->stepDown();
  QCOMPARE(box->text(), QStringLiteral("0B"));
  ExpectRow(w, 0, 0x00, 0x0B);
  // The spinner stops at its ends.
  QTest::keyClick(box, Qt::Key_Escape);
  w.updnRegData[0]->stepDown();
  ExpectRow(w, 0, 0x00, 0);
  Click(box, 2);
  QTest::keyClicks(box, QStringLiteral("ff"));
  w.updnRegData[0]->stepUp();
  ExpectRow(w, 0, 0x00, 255);
  // While the system sets a row, the spinner's change does nothing.
  w.IgnoreSpinnerChange = true;
  w.updnRegData[0]->setValue(7);
  w.IgnoreSpinnerChange = false;
  QCOMPARE(box->text(), QStringLiteral("FF"));
  QCOMPARE(w.Cache[0], 255);
}

void EditingTest::spinnerStepsByOneForEveryKeyAndWheel_data() {
  QTest::addColumn<int>("key");  // 0: a notch of the wheel
  QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
  QTest::addColumn<int>("step");
  for (const Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
    for (const auto& [name, key, step] : {std::tuple{"Up", Qt::Key_Up, 1},
                                          {"Down", Qt::Key_Down, -1},
                                          {"PageUp", Qt::Key_PageUp, 1},
                                          {"PageDown", Qt::Key_PageDown, -1},
                                          {"wheel up", Qt::Key(0), 1},
                                          {"wheel down", Qt::Key(0), -1}}) {
      QTest::newRow(qPrintable(QString(modifiers ? "Ctrl+" : "") + name)) << int(key) << modifiers << step;
    }
  }
}

void EditingTest::spinnerStepsByOneForEveryKeyAndWheel() {
  QFETCH(int, key);
  QFETCH(Qt::KeyboardModifiers, modifiers);
  QFETCH(int, step);
  WindowHarness h;
  auto& w = h.Window();
  Click(w.tbRegdata[0], 2);
  QTest::keyClicks(w.tbRegdata[0], QStringLiteral("20"));
  QSpinBox* spinner = w.updnRegData[0];
  const QPointF at(4, 4);
  QWheelEvent notch(at, spinner->mapToGlobal(at), {}, {0, 120 * step}, Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
  if (key != 0) QTest::keyClick(spinner, Qt::Key(key), modifiers);
  if (key == 0) QApplication::sendEvent(spinner, &notch);
  ExpectRow(w, 0, 0x00, 0x20 + step);
}

void EditingTest::valueSetByTheProgramPutsTheCaretAtTheStart_data() {
  QTest::addColumn<SetValue>("setValue");
  QTest::newRow("page fill") << SetValue([](WindowHarness& h) {
    h.SelectPage(1);
    h.SelectPage(0);
  });
  QTest::newRow("Read") << SetValue([](WindowHarness& h) { h.Window().cbRead_Click(0); });
  QTest::newRow("Read All") << SetValue([](WindowHarness& h) { h.Window().cbReadAllRegs_Click(); });
  QTest::newRow("spinner") << SetValue([](WindowHarness& h) { h.Window().updnRegData[0]->stepUp(); });
  QTest::newRow("bit") << SetValue([](WindowHarness& h) { h.Window().cbRegToggleBit_Click(7); });
}

void EditingTest::valueSetByTheProgramPutsTheCaretAtTheStart() {
  QFETCH(SetValue, setValue);
  WindowHarness h;
  QVERIFY(h.ShowAndStart());
  QApplication::setActiveWindow(&h.Window());
  auto* box = h.Window().tbRegdata[0];
  Click(box, 2);
  QTest::keyClicks(box, QStringLiteral("42"));
  setValue(h);
  QVERIFY(box->hasFocus());
  QCOMPARE(box->cursorPosition(), 0);
  QVERIFY(!box->hasSelectedText());
  const QString before = box->text();
  QTest::keyClick(box, '7');  // overwrites the high digit
  QCOMPARE(box->text(), QStringLiteral("7") + before.at(1));
}

void EditingTest::bitToggleKeepsTheRowInStepAndShowsColours() {
  WindowHarness h;
  auto& w = h.Window();
  h.Window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  auto* box = w.tbRegdata[1];
  box->selectAll();
  QTest::keyClick(box, '3');  // one digit
  QTest::mouseClick(w.cbRegToggleBit[8 + 7], Qt::LeftButton);
  QCOMPARE(box->text(), QStringLiteral("83"));
  ExpectRow(w, 1, 0x01, 0x83);
  QCOMPARE(CentreColour(w.cbRegToggleBit[8 + 7]), QColor(0x00, 0xFF, 0x00));
  QCOMPARE(CentreColour(w.cbRegToggleBit[8 + 6]), QColor(0x7F, 0x7F, 0x7F));
  QTest::mouseClick(w.cbRegToggleBit[8 + 0], Qt::LeftButton);
  ExpectRow(w, 1, 0x01, 0x82);
  QTest::mouseClick(w.cbRegToggleBit[8 + 0], Qt::LeftButton);
  ExpectRow(w, 1, 0x01, 0x83);
}

void EditingTest::pageSwitchKeepsEditsAndSharedRegisters() {
  WindowHarness h;
  auto& w = h.Window();
  auto* box = w.tbRegdata[0];
  Click(box, 2);
  QTest::keyClicks(box, QStringLiteral("a5"));  // register 0x00, also row 5 of page "Six"
  h.SelectPage(2);
  QCOMPARE(w.lblRegName[5]->text(), QStringLiteral("CONFIG"));
  QCOMPARE(w.lblBitName[5 * 8 + 7]->text(), QStringLiteral("EN"));
  ExpectRow(w, 5, 0x00, 0xA5);
  QCOMPARE(w.lblRegName[2]->text(), QString());  // a register with an empty name
  QCOMPARE(w.lblBitName[2 * 8]->text(), QString());
  QTest::mouseClick(w.cbRegToggleBit[5 * 8 + 1], Qt::LeftButton);
  h.SelectPage(3);  // no registers: every row hidden
  for (int row = 0; row < 6; ++row) QVERIFY(w.fmRegCtrls[row]->isHidden());
  h.SelectPage(0);
  QVERIFY(!w.fmRegCtrls[0]->isHidden() && !w.fmRegCtrls[1]->isHidden() && w.fmRegCtrls[2]->isHidden());
  ExpectRow(w, 0, 0x00, 0xA7);
}

QTEST_MAIN(EditingTest)
#include "editing_test.moc"
