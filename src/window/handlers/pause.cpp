// The one way of waiting: a number of milliseconds on Timer1 while the
// window goes on serving its events.
#include <QCoreApplication>

#include <chrono>

#include "window/diag_window.h"
#include "window/exact_wake.h"

namespace regdiag {

bool DiagWindow::Pause(std::int16_t msec) {
  if (unloaded_) return false;
  Timer1.stop();
  Timer1.setInterval(msec > 0 ? msec : 0);
  Timer1.start();
  // Timer1 is due msec from now; the loop is woken then to the microsecond,
  // not up to a millisecond later when something woke it in between.
  exactWake_->Arm(std::chrono::steady_clock::now() + std::chrono::milliseconds(msec > 0 ? msec : 0));
  PauseElapsed = false;
  // Sleeps until the next event arrives; the tick is one. A pause started
  // by an event served here clears the one flag and stops Timer1 when it
  // ends, which ends this wait too. Unloading the window ends every wait.
  while (!PauseElapsed && !unloaded_) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  }
  return !unloaded_;
}

void DiagWindow::Timer1_Timer() {
  PauseElapsed = true;
  Timer1.stop();
}

}  // namespace regdiag
