#include "cli/console_waiter.h"

#include <algorithm>
#include <csignal>

namespace regdiag::cli {

namespace {

// Set from a signal handler: it must be lock-free to be safe there.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int /*signal*/) { interrupted.store(true); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The handler stays for one signal: a second Ctrl+C ends a program that
  // does not stop.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::atomic<bool>& InterruptFlag() { return interrupted; }

bool ConsoleWaiter::Pause(int msec) { return PauseUntil(msec, {}); }

bool ConsoleWaiter::PauseUntil(int msec, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(msec, 0));
  for (;;) {
    if (serve_) serve_();
    if (Cancelled()) return false;
    if (done && done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return true;
    Sleep(deadline);
  }
}

bool ConsoleWaiter::WaitUntil(const std::function<bool()>& ended,
                              std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (Cancelled()) return false;
    if (ended() || std::chrono::steady_clock::now() >= deadline) return true;
    Sleep(deadline);
  }
}

void ConsoleWaiter::Wake() {
  {
    const std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wakeup_.notify_all();
}

void ConsoleWaiter::Sleep(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  const auto until = std::min(deadline, std::chrono::steady_clock::now() + kInterruptPoll);
  wakeup_.wait_until(lock, until, [this] { return woken_; });
  woken_ = false;
}

}  // namespace regdiag::cli
