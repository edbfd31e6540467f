// A command button whose caption wraps onto several lines when the button is
// narrower than its text (the bottom bar's tall, narrow buttons).
#pragma once

#include <QPushButton>

namespace regdiag {

class WrapButton : public QPushButton {
  Q_OBJECT

 public:
  explicit WrapButton(const QString& caption, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace regdiag
