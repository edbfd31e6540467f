#include "window/widgets/up_down_spinner.h"

#include <QLineEdit>

namespace regdiag {

UpDownSpinner::UpDownSpinner(QWidget* parent) : QSpinBox(parent) {
  // A spin box steps by one from the start (stepBy keeps it so); setting the
  // step again would only lay out its hidden text once more.
  setRange(0, 255);
  setValue(0);
  setWrapping(false);  // stops at 0 and 255
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setFrame(false);
  // The value is shown in the row's hex box; the spinner shows only arrows.
  lineEdit()->setReadOnly(true);
  lineEdit()->hide();
}

void UpDownSpinner::stepBy(int steps) {
  // Every step is one, whatever asked for it: PageUp and PageDown, the wheel
  // and Ctrl with an arrow, a click or the wheel would otherwise step ten.
  QSpinBox::stepBy(steps > 0 ? 1 : (steps < 0 ? -1 : 0));
}

void UpDownSpinner::resizeEvent(QResizeEvent* event) {
  QSpinBox::resizeEvent(event);
  lineEdit()->hide();
}

}  // namespace regdiag
