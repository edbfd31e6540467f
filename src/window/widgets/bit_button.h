// A bit button of a register row: caption "1" or "0" on a green or grey
// face. It paints its face itself, so the colour shows exactly under any
// style, and changing the bit costs one repaint, not a restyle. To a screen
// reader it is a button whose value is its caption.
#pragma once

#include <QColor>
#include <QPushButton>

#include <optional>

namespace regdiag {

class BitButton : public QPushButton {
  Q_OBJECT

 public:
  static constexpr QRgb kSetColour = 0x00FF00;
  static constexpr QRgb kClearColour = 0x7F7F7F;

  explicit BitButton(QWidget* parent = nullptr);

  // Sets the caption ("1" or "0") and then the face colour.
  void SetBit(bool set);
  // The face colour, empty while the button still has the style's own.
  [[nodiscard]] std::optional<QColor> FaceColour() const { return face_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<QColor> face_;
};

}  // namespace regdiag
