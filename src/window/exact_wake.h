// Wakes the window thread's event loop at an exact time.
//
// Qt computes how long its event loop may sleep from its timers in whole
// milliseconds, rounded up. When anything wakes the loop in the middle of a
// wait (an accessibility client asking the log pane for its text, a window
// system event, a posted call), the sleep that follows is rounded up again
// and the timer ticks up to a millisecond late. A pause of 10 ms then lasts
// up to 11 ms, and a sequence of pauses is slower by about half a
// millisecond a step whenever something else keeps the loop busy.
//
// An armed ExactWake is a file descriptor that becomes readable at the
// deadline (a Linux timerfd on the monotonic clock that Qt's timers use),
// watched by the event loop: the loop wakes on time and finds the timer
// due. It only wakes the loop; what runs then is whatever is due. Elsewhere
// than on Linux it does nothing.
//
// Threads: the thread that made it, which must run an event loop.
#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;

namespace regdiag {

class ExactWake final : public QObject {
 public:
  explicit ExactWake(QObject* parent = nullptr);
  ~ExactWake() override;
  ExactWake(const ExactWake&) = delete;
  ExactWake& operator=(const ExactWake&) = delete;

  // Wakes the event loop at `deadline`, in place of an earlier Arm's.
  void Arm(std::chrono::steady_clock::time_point deadline);

 private:
  void Drain();

  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace regdiag
