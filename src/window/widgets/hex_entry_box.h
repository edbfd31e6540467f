// The hex value box of a register row. It never inserts a typed character
// itself: every character goes out as keyTyped for the row's key handler to
// decide, and text that arrives by paste goes out as pasted, to be typed
// through the same rules (Shift+Insert, the context menu, a drop, the X11
// selection). Caret moves, selection and copy work as usual; every other key
// that could edit the text (Delete, and Ctrl with V, X, Z, Y, Backspace or
// Delete) is refused.
#pragma once

#include <QLineEdit>

namespace regdiag {

class HexEntryBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit HexEntryBox(QWidget* parent = nullptr);

  // The caret and selection as the key rules see them: the selection start
  // (or the caret when nothing is selected) and the selection length.
  [[nodiscard]] int SelStart() const;
  [[nodiscard]] int SelLength() const;
  void SetCaret(int selStart, int selLength);
  // The program sets the text: the caret goes to position 0 with no
  // selection, also while the box has the focus, so the next digit typed
  // overwrites the high digit. Hides QLineEdit::setText, which leaves the
  // caret at the end; the window calls it through this class.
  void setText(const QString& text);

 signals:
  void keyTyped(int keyCode);
  void pasted(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace regdiag
