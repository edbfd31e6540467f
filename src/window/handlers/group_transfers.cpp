// The group and whole-device sequences of the window. Each is dropped while
// another transaction's transfer is in flight, as a row's Read and Write are.
#include "core/text/transaction_text.h"
#include "window/diag_window.h"

namespace regdiag {

void DiagWindow::cbReadRegs_Click() {
  if (engine_.Busy()) return;
  engine_.RunGroup(logtext::kReadGroupHeader, [this](int row) {
    cbRead_Click(static_cast<std::int16_t>(row));
    return Outcome::Ok;
  });
}

void DiagWindow::cbWriteRegs_Click() {
  if (engine_.Busy()) return;
  engine_.RunGroup(logtext::kWriteGroupHeader, [this](int row) {
    cbWrite_Click(static_cast<std::int16_t>(row));
    return Outcome::Ok;
  });
}

void DiagWindow::cbReadAllRegs_Click() {
  if (engine_.Busy()) return;
  // The page shows what was read, also when no bridge was there.
  if (engine_.ReadAll() != Outcome::Cancelled) TabStrip1_Click();
}

void DiagWindow::cbWriteAllRegs_Click() {
  if (!engine_.Busy()) engine_.WriteAll();
}

}  // namespace regdiag
