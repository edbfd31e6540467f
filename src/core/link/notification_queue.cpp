#include "core/link/notification_queue.h"

#include <utility>

namespace regdiag {

NotificationQueue::NotificationQueue(std::function<void()> wake) : wake_(std::move(wake)) {}

usb::Dispatcher NotificationQueue::Dispatcher() {
  return [this](std::function<void()> call) { Post(std::move(call)); };
}

void NotificationQueue::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(call));
  }
  if (wake_) wake_();
}

bool NotificationQueue::Empty() {
  std::lock_guard lock(mutex_);
  return pending_.empty();
}

void NotificationQueue::RunPending() {
  while (holds_ == 0) {
    std::vector<std::function<void()>> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(pending_);
    }
    if (batch.empty()) return;
    for (auto& call : batch) call();
  }
}

NotificationQueue::Hold::Hold(NotificationQueue& queue) : queue_(queue) { ++queue_.holds_; }

NotificationQueue::Hold::~Hold() {
  if (--queue_.holds_ == 0 && !queue_.Empty() && queue_.wake_) queue_.wake_();
}

}  // namespace regdiag
