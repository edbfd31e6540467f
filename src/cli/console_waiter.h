// How regdiag-cli waits for the engine, and how Ctrl+C reaches it.
//
// The console has no event loop: its waiter sleeps on a condition variable
// until the library wakes it (notifications are waiting, a transfer may have
// ended), its time is up, or the next short look at the interrupt flag. A
// pause runs the library's queued notifications as they arrive, so the
// start-up wait sees the attach as soon as it comes.
//
// Ctrl+C (and SIGTERM) only set an atomic flag: the signal handler does
// nothing else. Every wait sees the flag within kInterruptPoll and ends, the
// engine gives up the sequence and the transfer in flight, and the owner
// ends the session afterwards: cancel first, then tear down.
//
// Threads: everything on the engine's thread, except Wake (any thread) and
// the signal handler.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "core/link/waiter.h"

namespace regdiag::cli {

// How often a sleeping wait looks at the interrupt flag.
inline constexpr std::chrono::milliseconds kInterruptPoll{20};

// Installs the handler for SIGINT and SIGTERM that sets InterruptFlag(); a
// second signal ends the program at once.
void CatchInterrupts();
// The flag the handler sets; lives for the whole program.
[[nodiscard]] std::atomic<bool>& InterruptFlag();

class ConsoleWaiter final : public Waiter {
 public:
  // `cancel` must outlive the waiter; once true, every wait ends.
  explicit ConsoleWaiter(const std::atomic<bool>& cancel) : cancel_(cancel) {}

  // What a pause runs whenever it wakes: the session's queued
  // notifications. Set by the owner of the session, cleared before it goes.
  void Serve(std::function<void()> runNotifications) { serve_ = std::move(runNotifications); }

  [[nodiscard]] bool Pause(int msec) override;
  // Returns as soon as `done` tests true after the notifications have run.
  [[nodiscard]] bool PauseUntil(int msec, const std::function<bool()>& done) override;
  [[nodiscard]] bool Cancelled() const override { return cancel_.load(); }
  [[nodiscard]] bool WaitUntil(const std::function<bool()>& ended,
                               std::chrono::steady_clock::time_point deadline) override;
  void Wake() override;

 private:
  // Sleeps until woken, the deadline, or the next look at the flag.
  void Sleep(std::chrono::steady_clock::time_point deadline);

  const std::atomic<bool>& cancel_;
  std::function<void()> serve_;
  std::mutex mutex_;
  std::condition_variable wakeup_;
  bool woken_ = false;  // under mutex_
};

}  // namespace regdiag::cli
