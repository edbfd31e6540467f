// The up-down spinner of a register row: only the two arrows of a spin box.
// Its value changes by the arrows (or the arrow and page keys, or the wheel),
// always by one, and by code; both raise valueChanged synchronously, inside
// the assignment.
#pragma once

#include <QSpinBox>

namespace regdiag {

class UpDownSpinner : public QSpinBox {
  Q_OBJECT

 public:
  explicit UpDownSpinner(QWidget* parent = nullptr);

  void stepBy(int steps) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

}  // namespace regdiag
