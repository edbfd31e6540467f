// How the engine waits, given by its owner. Each front end waits its own way:
// the window serves its events, the command line sleeps on the notification
// queue. Every way of waiting keeps the library's queued notifications
// running, except while a transfer is in flight (the engine holds them then,
// so that no attach or detach lands in the middle of an exchange).
//
// Cancelling belongs to the owner: once it has decided to stop (the window
// is closing, Ctrl+C), every wait returns false at once, and the engine ends
// the sequence and the transfer in flight.
//
// Threads: all calls on the engine's thread, except TransferWaiter::Wake.
#pragma once

#include <functional>

#include "core/usb/usb_lib.h"

namespace regdiag {

class Waiter : public usb::TransferWaiter {
 public:
  // Waits msec milliseconds while serving what arrives. False when the wait
  // ended because the owner cancelled.
  [[nodiscard]] virtual bool Pause(int msec) = 0;
  // As Pause, but may return as soon as `done` tests true. A waiter is free
  // to wait the whole time instead.
  [[nodiscard]] virtual bool PauseUntil(int msec, const std::function<bool()>& done) = 0;
  // True once the owner has cancelled.
  [[nodiscard]] virtual bool Cancelled() const = 0;
};

}  // namespace regdiag
