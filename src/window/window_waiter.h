// How the window waits for the engine, and where the engine's log entries go.
//
// The window's pause serves every window event. A transfer's wait keeps the
// window painting and lets the Quit button and closing the window through
// (either one cancels the transfer), but drops every other click and key
// press in the window: they are not replayed later, so nothing the user does
// can start a second transaction in the middle of one. A release whose press
// came before the wait still reaches the widget that had the press, so a
// spinner stops stepping and a button no longer shows pressed; the click it
// would complete is dropped. Other top-level windows (the simulator's
// control panel) stay usable.
//
// Threads: the window thread, except Wake, which any thread may call.
#pragma once

#include <QObject>
#include <QSet>

#include "core/link/log_sink.h"
#include "core/link/waiter.h"

namespace regdiag {

class DiagWindow;

class WindowWaiter final : public Waiter {
 public:
  explicit WindowWaiter(DiagWindow& window) : window_(window) {}

  [[nodiscard]] bool Pause(int msec) override;
  // The window waits its pauses out whole, as its start-up always has.
  [[nodiscard]] bool PauseUntil(int msec, const std::function<bool()>& done) override;
  [[nodiscard]] bool Cancelled() const override;
  [[nodiscard]] bool WaitUntil(const std::function<bool()>& ended,
                               std::chrono::steady_clock::time_point deadline) override;
  void Wake() override;

 private:
  DiagWindow& window_;
};

// Drops the user's input to one window, except to its Quit button, while it
// lives, and lets through the releases of presses it did not drop. A
// dropped click does not move the keyboard focus either.
class InputGate final : public QObject {
 public:
  explicit InputGate(DiagWindow& window);
  ~InputGate() override;
  InputGate(const InputGate&) = delete;
  InputGate& operator=(const InputGate&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A release of a press made before the gate: true when it is dropped.
  bool EndPressFromBefore(QWidget& widget, QEvent& event);

  DiagWindow& window_;
  // What the gate dropped the press of: the release goes the same way.
  Qt::MouseButtons droppedButtons_;
  QSet<int> droppedKeys_;
};

// The engine's log entries go to the log pane, until the window is unloaded.
class WindowLogSink final : public LogSink {
 public:
  explicit WindowLogSink(DiagWindow& window) : window_(window) {}
  void Append(std::string_view text, std::string_view suffix) override;
  void Clear() override;

 private:
  DiagWindow& window_;
};

}  // namespace regdiag
