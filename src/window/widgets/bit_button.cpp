#include "window/widgets/bit_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace regdiag {

namespace {

// A button that can be pressed, with the bit (its caption) as its value.
class BitButtonAccessible final : public QAccessibleWidget {
 public:
  explicit BitButtonAccessible(BitButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

  [[nodiscard]] QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Button()->text();
    return QAccessibleWidget::text(t);
  }
  [[nodiscard]] QStringList actionNames() const override {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& name) override {
    if (name == pressAction()) {
      Button()->click();
    } else {
      QAccessibleWidget::doAction(name);
    }
  }

 private:
  [[nodiscard]] BitButton* Button() const { return static_cast<BitButton*>(widget()); }
};

QAccessibleInterface* BitButtonInterface(const QString& className, QObject* object) {
  if (className != QLatin1String(BitButton::staticMetaObject.className()) || !object->isWidgetType()) {
    return nullptr;
  }
  return new BitButtonAccessible(static_cast<BitButton*>(object));
}

}  // namespace

BitButton::BitButton(QWidget* parent) : QPushButton(QStringLiteral("0"), parent) {
  static const bool installed = (QAccessible::installFactory(&BitButtonInterface), true);
  static_cast<void>(installed);
}

void BitButton::SetBit(bool set) {
  const QString caption = set ? QStringLiteral("1") : QStringLiteral("0");
  const QColor face(set ? kSetColour : kClearColour);
  if (text() == caption && face_ == face) return;
  const bool changed = text() != caption;
  setText(caption);
  face_ = face;
  update();
  if (changed) {
    QAccessibleValueChangeEvent event(this, caption);
    QAccessible::updateAccessibility(&event);
  }
}

void BitButton::paintEvent(QPaintEvent* event) {
  if (!face_) {
    QPushButton::paintEvent(event);  // laid out: the style's own button
    return;
  }
  QPainter painter(this);
  const QRect frame = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(rect(), *face_);
  // A raised edge, sunk while pressed, and the focus as a dotted line.
  const bool down = isDown();
  painter.setPen(down ? QColor(0x30, 0x30, 0x30) : QColor(0xF0, 0xF0, 0xF0));
  painter.drawLine(frame.topLeft(), frame.topRight());
  painter.drawLine(frame.topLeft(), frame.bottomLeft());
  painter.setPen(down ? QColor(0xF0, 0xF0, 0xF0) : QColor(0x30, 0x30, 0x30));
  painter.drawLine(frame.bottomLeft(), frame.bottomRight());
  painter.drawLine(frame.topRight(), frame.bottomRight());
  if (hasFocus()) {
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(frame.adjusted(3, 3, -3, -3));
  }
  painter.setPen(Qt::black);
  painter.setFont(font());
  painter.drawText(rect().translated(down ? 1 : 0, down ? 1 : 0), Qt::AlignCenter, text());
}

}  // namespace regdiag
