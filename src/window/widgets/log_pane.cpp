#include "window/widgets/log_pane.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextCursor>

#include <memory>

#include "window/display_text.h"

namespace regdiag {

namespace {

// The view shows lines; a CR LF of the log is one line break there.
QString ViewText(std::string_view text) {
  QString shown = DisplayText(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  saveAction_ = new QAction(tr("Save Log As..."), this);
  connect(saveAction_, &QAction::triggered, this, &LogPane::saveRequested);
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, &LogPane::Flush);
  sinceFlush_.start();
}

void LogPane::Append(std::string_view text, std::string_view suffix) {
  log_.Append(text, suffix);
  pending_ += ViewText(text);
  pending_ += ViewText(suffix);
  if (!flushTimer_.isActive()) {
    const qint64 quiet = sinceFlush_.elapsed();
    flushTimer_.start(quiet >= kViewPeriodMs ? 0 : static_cast<int>(kViewPeriodMs - quiet));
  }
}

void LogPane::Flush() {
  flushTimer_.stop();
  sinceFlush_.restart();
  if (pending_.isEmpty()) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pending_);
  pending_.clear();
  // The caret goes to the end, which also brings the end into view.
  cursor.movePosition(QTextCursor::End);
  setTextCursor(cursor);
}

void LogPane::contextMenuEvent(QContextMenuEvent* event) {
  const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
  menu->addSeparator();
  menu->addAction(saveAction_);
  menu->exec(event->globalPos());
}

QMimeData* LogPane::createMimeDataFromSelection() const {
  // The view breaks lines where the log has CR LF; the copy has them back.
  QString text = textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
  auto* data = new QMimeData;
  data->setText(text);
  return data;
}

void LogPane::Clear() {
  log_.Clear();
  pending_.clear();
  clear();
}

}  // namespace regdiag
