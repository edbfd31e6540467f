#include "window/widgets/hex_entry_box.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace regdiag {

namespace {

constexpr int kDelete = 127;

// Keys that only move the caret, select or copy: the line edit may serve them.
bool IsNavigationOrCopy(QKeyEvent* event) {
  static const QKeySequence::StandardKey kAllowed[] = {
      QKeySequence::MoveToNextChar,      QKeySequence::MoveToPreviousChar, QKeySequence::MoveToStartOfLine,
      QKeySequence::MoveToEndOfLine,     QKeySequence::MoveToNextWord,     QKeySequence::MoveToPreviousWord,
      QKeySequence::MoveToStartOfBlock,  QKeySequence::MoveToEndOfBlock,   QKeySequence::SelectNextChar,
      QKeySequence::SelectPreviousChar,  QKeySequence::SelectStartOfLine,  QKeySequence::SelectEndOfLine,
      QKeySequence::SelectNextWord,      QKeySequence::SelectPreviousWord, QKeySequence::SelectAll,
      QKeySequence::Copy,                QKeySequence::MoveToStartOfDocument, QKeySequence::MoveToEndOfDocument,
  };
  return std::ranges::any_of(kAllowed, [event](QKeySequence::StandardKey key) { return event->matches(key); });
}

}  // namespace

HexEntryBox::HexEntryBox(QWidget* parent) : QLineEdit(parent) {
  setAcceptDrops(true);  // drops are taken and typed, never inserted as they are
  setAlignment(Qt::AlignCenter);
}

int HexEntryBox::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

int HexEntryBox::SelLength() const { return hasSelectedText() ? static_cast<int>(selectedText().size()) : 0; }

void HexEntryBox::SetCaret(int selStart, int selLength) {
  if (selLength > 0) {
    setSelection(selStart, selLength);
  } else {
    setCursorPosition(selStart);
  }
}

void HexEntryBox::setText(const QString& text) {
  QLineEdit::setText(text);
  setCursorPosition(0);
}

void HexEntryBox::keyPressEvent(QKeyEvent* event) {
  if (IsNavigationOrCopy(event)) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const int key = event->key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
    event->ignore();  // the window moves the focus
    return;
  }
  if (event->modifiers() & Qt::ControlModifier) {
    // With Ctrl a letter types its control character (Ctrl+V is 22) and
    // Ctrl+Backspace types DEL; the key rules refuse them all. Other Ctrl
    // keys (Ctrl+Delete) type nothing.
    if (key >= Qt::Key_A && key <= Qt::Key_Z) emit keyTyped(key - Qt::Key_A + 1);
    if (key == Qt::Key_Backspace) emit keyTyped(kDelete);
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    // Shift+Insert: its text is typed through the key rules.
    emit pasted(QApplication::clipboard()->text());
    return;
  }
  switch (key) {
    case Qt::Key_Backspace: emit keyTyped(8); return;
    case Qt::Key_Escape: emit keyTyped(27); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      emit keyTyped(13);
      return;
    default: break;
  }
  const QString text = event->text();
  if (text.size() == 1) {
    emit keyTyped(text.at(0).unicode());
  }
  // Anything else (delete, cut, undo, ...) would edit the text behind the
  // rules' back: refused.
}

void HexEntryBox::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) emit pasted(event->commitString());
  event->accept();
}

void HexEntryBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(tr("&Copy"), this, &QLineEdit::copy);
  copy->setEnabled(hasSelectedText());
  QAction* paste = menu.addAction(tr("&Paste"), this, [this] { emit pasted(QApplication::clipboard()->text()); });
  paste->setEnabled(!QApplication::clipboard()->text().isEmpty());
  menu.addSeparator();
  menu.addAction(tr("Select &All"), this, &QLineEdit::selectAll);
  menu.exec(event->globalPos());
}

void HexEntryBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    // The selection paste of X11 is typed like any other paste.
    if (QApplication::clipboard()->supportsSelection()) {
      emit pasted(QApplication::clipboard()->text(QClipboard::Selection));
    }
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void HexEntryBox::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasText()) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void HexEntryBox::dropEvent(QDropEvent* event) {
  if (event->mimeData()->hasText()) {
    setFocus();
    emit pasted(event->mimeData()->text());
    event->acceptProposedAction();
  }
}

}  // namespace regdiag
