// The group and whole-device sequences of the window. Each is dropped while
// another transaction's transfer is in flight, as a row's Read and Write are;
// while one runs, the window is busy: loading and saving wait for it to end.
#include "core/text/transaction_text.h"
#include "window/diag_window.h"

namespace regdiag {

void DiagWindow::cbReadRegs_Click() {
  if (engine_.Busy()) return;
  const BusyScope busy(*this);
  engine_.RunGroup(logtext::kReadGroupHeader, [this](int row) {
    cbRead_Click(static_cast<std::int16_t>(row));
    return Outcome::Ok;
  });
}

void DiagWindow::cbWriteRegs_Click() {
  if (engine_.Busy()) return;
  const BusyScope busy(*this);
  engine_.RunGroup(logtext::kWriteGroupHeader, [this](int row) {
    WriteRow(static_cast<std::int16_t>(row), true);
    return Outcome::Ok;
  });
}

void DiagWindow::cbReadAllRegs_Click() {
  if (engine_.Busy()) return;
  const BusyScope busy(*this);
  // The page shows what was read, also when no bridge was there.
  if (engine_.ReadAll() != Outcome::Cancelled) TabStrip1_Click();
}

void DiagWindow::cbWriteAllRegs_Click() {
  if (engine_.Busy()) return;
  const BusyScope busy(*this);
  const RegisterValueCache before = Cache;
  // W1C bits go out as 0, and the cache holds what was sent: the page then
  // shows it. With no W1C bit nothing changes, and the page is left alone.
  if (engine_.WriteAll() != Outcome::Cancelled && Cache != before) TabStrip1_Click();
}

}  // namespace regdiag
