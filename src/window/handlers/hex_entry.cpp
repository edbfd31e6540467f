// Typing into a row's hex box: the key rules decide what the text becomes.
#include "core/editing/hex_key_rules.h"
#include "window/diag_window.h"
#include "window/scoped_flag.h"
#include "window/widgets/hex_entry_box.h"

namespace regdiag {

void DiagWindow::tbRegdata_KeyPress(std::int16_t Index, int& KeyAscii) {
  HexEntryBox& box = *tbRegdata[Index];
  const HexEditState before{box.text().toStdString(), box.SelStart(), box.SelLength()};
  const HexKeyOutcome outcome = ApplyHexKey(before, KeyAscii);
  KeyAscii = 0;  // the box never inserts the character itself
  if (!outcome.commit) return;
  if (outcome.state.text != before.text) box.setText(QString::fromStdString(outcome.state.text));
  box.SetCaret(outcome.state.selStart, outcome.state.selLength);

  const ScopedFlag quiet(IgnoreSpinnerChange);
  UpdateBitsFromText(Index);
  UpdateCacheFromText(Index);
  UpdateSpinnerFromText(Index);
}

void DiagWindow::tbRegdata_Paste(std::int16_t Index, const QString& text) {
  for (const QChar c : text) {
    int key = c.unicode();
    tbRegdata_KeyPress(Index, key);
  }
}

}  // namespace regdiag
