#include "window/window_waiter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>

#include "window/diag_window.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

namespace regdiag {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
      return true;
    default:
      return false;
  }
}

// The presses that move the keyboard focus to the widget under them.
bool GivesFocus(QEvent::Type type) {
  return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::Wheel;
}

}  // namespace

bool WindowWaiter::Pause(int msec) {
  return window_.Pause(static_cast<std::int16_t>(std::clamp(msec, 0, 32767)));
}

bool WindowWaiter::PauseUntil(int msec, const std::function<bool()>& /*done*/) { return Pause(msec); }

bool WindowWaiter::Cancelled() const { return window_.Unloaded(); }

bool WindowWaiter::WaitUntil(const std::function<bool()>& ended,
                             std::chrono::steady_clock::time_point deadline) {
  using std::chrono::steady_clock;
  const DiagWindow::BusyScope busy(window_);
  const InputGate gate(window_);
  // The deadline's own tick wakes the wait; the library's Wake does the rest.
  QTimer deadlineTick;
  deadlineTick.setSingleShot(true);
  if (deadline != steady_clock::time_point::max()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now()).count();
    deadlineTick.start(static_cast<int>(std::clamp<long long>(left, 0, INT_MAX)));
  }
  while (!ended()) {
    if (window_.Unloaded()) return false;
    if (steady_clock::now() >= deadline) return true;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  }
  return true;
}

void WindowWaiter::Wake() {
  // Posting is safe from any thread; the empty call only ends the wait for
  // events, so that WaitUntil tests again.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app, [] {}, Qt::QueuedConnection);
  }
}

InputGate::InputGate(DiagWindow& window) : window_(window) {
  QCoreApplication::instance()->installEventFilter(this);
}

InputGate::~InputGate() { QCoreApplication::instance()->removeEventFilter(this); }

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type())) return false;
  const QWidget* quit = window_.cbQuit;
  if (watched == window_.windowHandle() && GivesFocus(event->type())) {
    // The widget under a press takes the focus before any filter sees the
    // press it gets: a press that is dropped is dropped here, on its way in.
    const QPoint at = static_cast<QSinglePointEvent*>(event)->position().toPoint();
    const QWidget* target = window_.childAt(at);
    if (target != nullptr && (target == quit || quit->isAncestorOf(target))) return false;
    // Its release is dropped too when it comes.
    if (event->type() != QEvent::Wheel) droppedButtons_ |= static_cast<QMouseEvent*>(event)->button();
    return true;
  }
  if (!watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != &window_) return false;
  if (widget == quit || quit->isAncestorOf(widget)) return false;
  return EndPressFromBefore(*widget, *event);
}

bool InputGate::EndPressFromBefore(QWidget& widget, QEvent& event) {
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      droppedButtons_ |= static_cast<QMouseEvent&>(event).button();
      return true;
    case QEvent::KeyPress:
      droppedKeys_.insert(static_cast<QKeyEvent&>(event).key());
      return true;
    case QEvent::MouseButtonRelease: {
      // Only the left button presses buttons and spinners; the other
      // buttons' releases only complete clicks (a middle-button paste).
      const Qt::MouseButton button = static_cast<QMouseEvent&>(event).button();
      const bool dropped = (droppedButtons_ & button) != 0;
      droppedButtons_ &= ~button;
      if (button != Qt::LeftButton || dropped) return true;
      break;
    }
    case QEvent::KeyRelease: {
      const auto& key = static_cast<QKeyEvent&>(event);
      if (key.isAutoRepeat() || droppedKeys_.remove(key.key())) return true;
      break;
    }
    default:
      return true;
  }
  // A button would click on this release: it is only let up.
  auto* button = qobject_cast<QAbstractButton*>(&widget);
  if (button == nullptr || !button->isDown()) return false;
  button->setDown(false);
  return true;
}

void WindowLogSink::Append(std::string_view text, std::string_view suffix) { window_.LogText(text, suffix); }

void WindowLogSink::Clear() { window_.txtLog->Clear(); }

}  // namespace regdiag
