// Stepping a row's value with its spinner and flipping single bits.
#include <QPushButton>
#include <QSpinBox>

#include "core/text/hex_value.h"
#include "window/widgets/bit_button.h"
#include "window/diag_window.h"
#include "window/scoped_flag.h"
#include "window/widgets/hex_entry_box.h"

namespace regdiag {

void DiagWindow::updnRegData_Change(std::int16_t Index) {
  if (IgnoreSpinnerChange) return;  // the system is setting the row itself
  const auto v = static_cast<std::int16_t>(updnRegData[Index]->value());
  const ScopedFlag quiet(IgnoreSpinnerChange);
  tbRegdata[Index]->setText(QString::fromStdString(HexByteText(v)));
  UpdateBitsFromText(Index);
  UpdateCacheFromText(Index);
}

void DiagWindow::cbRegToggleBit_Click(std::int16_t Index) {
  SetBitButton(Index, cbRegToggleBit[Index]->text() != QStringLiteral("1"));
  const ScopedFlag quiet(IgnoreSpinnerChange);
  UpdateTextFromBits(Index);
}

}  // namespace regdiag
