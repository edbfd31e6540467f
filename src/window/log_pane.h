// The log pane: a read-only multi-line view over the session log text. The
// text with its CR LF line ends is kept beside the view and is complete the
// moment an entry is appended. The view takes the new entries once per turn
// of the event loop (before the next paint), so a burst of entries is laid
// out once and an append never costs the log's length.
#pragma once

#include <QPlainTextEdit>

#include <string_view>

#include "link/diag_lib/session_log_text.h"

namespace regdiag {

class LogPane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit LogPane(QWidget* parent = nullptr);

  // Adds text and suffix at the end and puts the caret at the very end.
  void Append(std::string_view text, std::string_view suffix);
  void Clear();
  [[nodiscard]] const std::string& Contents() const { return log_.Text(); }
  // Brings the view up to date with the log now, caret at the end.
  void Flush();

 private:
  SessionLogText log_;
  QString pending_;
  bool flushQueued_ = false;
};

}  // namespace regdiag
