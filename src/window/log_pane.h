// The log pane: a read-only multi-line view over the session log text. The
// text with its CR LF line ends is kept beside the view, and each append adds
// only the new entry to the view, so an append costs the entry's length, not
// the log's.
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

 private:
  SessionLogText log_;
};

}  // namespace regdiag
