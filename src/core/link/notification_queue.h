// The library's notifications (attach, detach, notices) on their way to the
// engine's thread. The library posts them from any thread; the owner runs
// them, in order, whenever it serves its events. While a transfer is in
// flight they are held and run only after it.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "core/usb/usb_lib.h"

namespace regdiag {

class NotificationQueue {
 public:
  // `wake` is called, from any thread, when notifications are waiting and
  // may be run: the owner then calls RunPending on its thread soon.
  explicit NotificationQueue(std::function<void()> wake);

  // The dispatcher to hand to UsbInit. It must not outlive the queue.
  [[nodiscard]] usb::Dispatcher Dispatcher();
  // Runs what is waiting, in order, including what those calls post. Does
  // nothing while held. Engine thread.
  void RunPending();
  [[nodiscard]] bool Empty();

  // Holds the notifications for its lifetime; when it ends, the owner is
  // woken if any are waiting. Engine thread; holds nest.
  class Hold {
   public:
    explicit Hold(NotificationQueue& queue);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    NotificationQueue& queue_;
  };

 private:
  void Post(std::function<void()> call);

  std::function<void()> wake_;
  std::mutex mutex_;
  std::vector<std::function<void()>> pending_;
  int holds_ = 0;  // engine thread
};

}  // namespace regdiag
