// Keeping a row's four places in step: hex text, bit buttons, spinner and
// cache entry. The hex text is the reference.
#include <QPushButton>
#include <QSpinBox>

#include "editing/core/hex_value.h"
#include "window/diag_window.h"
#include "window/hex_entry_box.h"

namespace regdiag {

namespace {

// Graphical-style buttons: the back colour must show whatever the style.
const QString kBitSetStyle = QStringLiteral(
    "QPushButton { background-color: #00ff00; color: black; border: 1px solid #3a3a3a; }"
    "QPushButton:pressed { border: 2px solid #1a1a1a; }");
const QString kBitClearStyle = QStringLiteral(
    "QPushButton { background-color: #7f7f7f; color: black; border: 1px solid #3a3a3a; }"
    "QPushButton:pressed { border: 2px solid #1a1a1a; }");

std::int16_t RowValue(const HexEntryBox& box) {
  return static_cast<std::int16_t>(ParseHexText(box.text().toStdString()));
}

}  // namespace

void DiagWindow::SetBitButton(int index, bool set) {
  QPushButton* button = cbRegToggleBit[index];
  button->setText(set ? QStringLiteral("1") : QStringLiteral("0"));
  button->setStyleSheet(set ? kBitSetStyle : kBitClearStyle);
}

void DiagWindow::UpdateBitsFromText(std::int16_t row) {
  const std::int16_t v = RowValue(*tbRegdata[row]);
  for (int bit = 0; bit < 8; ++bit) SetBitButton(row * 8 + bit, (v & (1 << bit)) > 0);
}

void DiagWindow::UpdateCacheFromText(std::int16_t row) {
  const int page = PageIndex();
  const int address = page < 0 ? kNoRegister : Map.AddressAt(page, row);
  if (address < 0 || address > 255) return;  // an empty row has no cache entry
  Cache[address] = RowValue(*tbRegdata[row]);
}

void DiagWindow::UpdateSpinnerFromText(std::int16_t row) {
  updnRegData[row]->setValue(ParseHexText(tbRegdata[row]->text().toStdString()));
}

void DiagWindow::UpdateTextFromBits(std::int16_t index) {
  const auto row = static_cast<std::int16_t>(index / 8);
  int v = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (cbRegToggleBit[row * 8 + bit]->text() == QStringLiteral("1")) v += 1 << bit;
  }
  tbRegdata[row]->setText(QString::fromStdString(HexByteText(v)));
  UpdateCacheFromText(row);
  UpdateSpinnerFromText(row);
}

}  // namespace regdiag
