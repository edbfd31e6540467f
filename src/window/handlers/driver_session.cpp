// The driver session as the window runs it: started at the first activation,
// ended when the window is unloaded.
#include "window/diag_window.h"

namespace regdiag {

void DiagWindow::Form_Activate() {
  if (unloaded_) return;
  engine_.Session().Start();
}

void DiagWindow::cbQuit_Click() { close(); }

void DiagWindow::Form_Unload() {
  // Cancel first: every wait, and with it a transfer in flight, ends now.
  // Then the session ends, once that transfer has returned.
  unloaded_ = true;
  engine_.Session().End();
}

}  // namespace regdiag
