// The group and whole-device sequences of the window.
#include "core/text/transaction_text.h"
#include "window/diag_window.h"

namespace regdiag {

void DiagWindow::cbReadRegs_Click() {
  engine_.RunGroup(logtext::kReadGroupHeader, [this](int row) {
    cbRead_Click(static_cast<std::int16_t>(row));
    return Outcome::Ok;
  });
}

void DiagWindow::cbWriteRegs_Click() {
  engine_.RunGroup(logtext::kWriteGroupHeader, [this](int row) {
    WriteRow(static_cast<std::int16_t>(row), true);
    return Outcome::Ok;
  });
}

void DiagWindow::cbReadAllRegs_Click() {
  // The page shows what was read, also when no bridge was there.
  if (engine_.ReadAll() != Outcome::Cancelled) TabStrip1_Click();
}

void DiagWindow::cbWriteAllRegs_Click() { engine_.WriteAll(); }

}  // namespace regdiag
