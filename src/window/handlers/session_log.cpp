// Appending to the log pane and clearing it.
#include "core/text/session_log_text.h"
#include "window/diag_window.h"
#include "window/widgets/log_pane.h"

namespace regdiag {

void DiagWindow::AppendToTextBox(LogPane& box, std::string_view text, std::string_view suffix) {
  box.Append(text, suffix);
}

void DiagWindow::LogText(std::string_view text, std::string_view suffix) {
  if (unloaded_) return;  // nothing is written into a window that has gone
  AppendToTextBox(*txtLog, text, suffix);
}

void DiagWindow::LogLine(std::string_view text) { LogText(text, kCrLf); }

void DiagWindow::cmdClearLog_Click() {
  txtLog->Clear();
  txtLog->repaint();
}

}  // namespace regdiag
