// Keeping a row's four places in step: hex text, bit buttons, spinner and
// cache entry. The hex text is the reference.
#include <QSpinBox>

#include "core/text/hex_value.h"
#include "window/widgets/bit_button.h"
#include "window/diag_window.h"
#include "window/widgets/hex_entry_box.h"

namespace regdiag {

namespace {

std::int16_t RowValue(const HexEntryBox& box) {
  return static_cast<std::int16_t>(ParseHexText(box.text().toStdString()));
}

}  // namespace

void DiagWindow::SetBitButton(int index, bool set) { cbRegToggleBit[index]->SetBit(set); }

void DiagWindow::UpdateBitsFromText(std::int16_t row) {
  const std::int16_t v = RowValue(*tbRegdata[row]);
  for (int bit = 0; bit < 8; ++bit) SetBitButton(row * 8 + bit, (v & (1 << bit)) > 0);
}

void DiagWindow::UpdateCacheFromText(std::int16_t row) {
  const int address = ShownAddress(row);
  if (address < 0 || address > 255) return;  // an empty row has no cache entry
  Cache[address] = RowValue(*tbRegdata[row]);
  engine_.Known()[static_cast<std::size_t>(address)] = true;
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
