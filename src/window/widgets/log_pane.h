// The log pane: a read-only multi-line view over the session log text. The
// text with its CR LF line ends is kept beside the view and is complete the
// moment an entry is appended. The view takes the new entries at most every
// kViewPeriodMs (at once when it has been quiet that long), so a burst of
// entries, such as a whole-device read, is laid out and painted a few times
// a second rather than once per entry, and an append never costs the log's
// length. A copy (Ctrl+C, the context menu, a drag) takes the selected text
// with CR LF line ends, as the log holds it. The context menu also offers to
// save the whole log to a file.
#pragma once

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <string_view>

#include "core/text/session_log_text.h"

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
  // "Save Log As..." of the context menu; it emits saveRequested.
  [[nodiscard]] QAction* SaveAction() const { return saveAction_; }

 signals:
  // "Save Log As..." was chosen in the context menu.
  void saveRequested();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Qt takes ownership of the returned data.
  [[nodiscard]] QMimeData* createMimeDataFromSelection() const override;

 private:
  static constexpr int kViewPeriodMs = 100;

  QAction* saveAction_ = nullptr;
  SessionLogText log_;
  QString pending_;
  QTimer flushTimer_;
  QElapsedTimer sinceFlush_;
};

}  // namespace regdiag
