// Reading and writing the register of one row.
#include <QMessageBox>

#include <algorithm>

#include "core/text/hex_value.h"
#include "window/diag_window.h"
#include "window/widgets/hex_entry_box.h"
#include "window/scoped_flag.h"

namespace regdiag {

// A click that arrives while a transfer is in flight (a timer's click, an
// accessibility action: they are no input the gate could drop) is dropped
// here, before any message box; the engine refuses it as well.
void DiagWindow::cbRead_Click(std::int16_t Index) {
  if (engine_.Busy() || !engine_.BridgeConnected()) return;
  if (Index < 0 || Index >= kRowsPerPage) return;
  const std::int16_t address = ShownAddress(Index);
  if (address < 0 || address > 255) return;
  engine_.ReadRegister(static_cast<std::uint8_t>(address),
                       [this, Index](std::uint8_t value) { ShowReadValue(Index, value); });
}

void DiagWindow::ShowReadValue(std::int16_t row, std::uint8_t value) {
  tbRegdata[row]->setText(QString::fromStdString(HexByteText(value)));
  const ScopedFlag quiet(IgnoreSpinnerChange);
  UpdateSpinnerFromText(row);
  UpdateBitsFromText(row);
}

void DiagWindow::cbWrite_Click(std::int16_t Index) { WriteRow(Index, false); }

void DiagWindow::WriteRow(std::int16_t row, bool knownOnly) {
  if (engine_.Busy() || !engine_.BridgeConnected()) return;
  if (row < 0 || row >= kRowsPerPage) return;
  const std::int16_t address = ShownAddress(row);
  if (address < 0 || address > 255) return;
  if (knownOnly && engine_.SkipUnknown(static_cast<std::uint8_t>(address))) return;
  // The box holds at most two hex digits; the clamp only guards the byte.
  const auto data = static_cast<std::uint8_t>(
      std::clamp<std::int32_t>(ParseHexText(tbRegdata[row]->text().toStdString()), 0, 255));
  engine_.WriteRegister(static_cast<std::uint8_t>(address), data);
}

}  // namespace regdiag
