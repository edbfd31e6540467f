#include "window/exact_wake.h"

#include <QSocketNotifier>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#endif

namespace regdiag {

ExactWake::ExactWake(QObject* parent) : QObject(parent) {
#ifdef __linux__
  // std::chrono::steady_clock is CLOCK_MONOTONIC here, as are Qt's timers.
  fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0) return;  // the pause still ends, only less exactly
  notifier_ = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ExactWake::Drain);
#endif
}

ExactWake::~ExactWake() {
#ifdef __linux__
  delete notifier_;
  if (fd_ >= 0) ::close(fd_);
#endif
}

void ExactWake::Arm(std::chrono::steady_clock::time_point deadline) {
#ifdef __linux__
  if (fd_ < 0) return;
  const auto since = deadline.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  itimerspec at{};
  at.it_value.tv_sec = static_cast<time_t>(seconds.count());
  at.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(since - seconds).count());
  // A zero time would disarm it: a deadline at the clock's origin is past.
  if (at.it_value.tv_sec == 0 && at.it_value.tv_nsec == 0) at.it_value.tv_nsec = 1;
  timerfd_settime(fd_, TFD_TIMER_ABSTIME, &at, nullptr);
#else
  static_cast<void>(deadline);
#endif
}

void ExactWake::Drain() {
#ifdef __linux__
  // Reading the expiry count makes the descriptor quiet until the next Arm.
  std::uint64_t expiries = 0;
  static_cast<void>(::read(fd_, &expiries, sizeof expiries));
#endif
}

}  // namespace regdiag
