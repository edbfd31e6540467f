// Test stand-ins for the window thread of the USB library: a dispatcher that
// only queues, drained when the test says the window processes its events,
// and a recorder of the session's handlers.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/usb/usb_lib.h"

namespace regdiag::usb::testing {

// Callables given to the dispatcher wait here until RunAll. Safe to feed
// from any thread.
class DispatchQueue {
 public:
  [[nodiscard]] Dispatcher dispatcher() {
    return [this](std::function<void()> work) {
      const std::lock_guard lock(mutex_);
      pending_.push_back(std::move(work));
    };
  }

  // Runs everything queued, including what the callables queue themselves;
  // returns how many ran.
  int RunAll() {
    int ran = 0;
    for (;;) {
      std::vector<std::function<void()>> batch;
      {
        const std::lock_guard lock(mutex_);
        batch.swap(pending_);
      }
      if (batch.empty()) return ran;
      for (auto& work : batch) work();
      ran += static_cast<int>(batch.size());
    }
  }

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> pending_;
};

// Records what the session's handlers were told. By default every attach
// is accepted; set decide to choose.
struct EventRecorder {
  std::vector<DeviceHandle> attached;
  std::vector<DeviceInfo> infos;
  std::vector<DeviceHandle> detached;
  std::vector<std::string> notices;
  std::function<bool(DeviceHandle, const DeviceInfo&)> decide;
  bool foreignUserData = false;  // a handler was given another table's userData

  [[nodiscard]] DeviceEventTable Table() {
    DeviceEventTable table;
    table.userData = this;
    table.attach = [this](DeviceHandle device, const DeviceInfo& info, void* userData) {
      foreignUserData = foreignUserData || userData != this;
      attached.push_back(device);
      infos.push_back(info);
      return decide ? decide(device, info) : true;
    };
    table.detach = [this](DeviceHandle device, void* userData) {
      foreignUserData = foreignUserData || userData != this;
      detached.push_back(device);
    };
    table.notice = [this](const std::string& text) { notices.push_back(text); };
    return table;
  }
};

inline constexpr MatchEntry kBridgeMatch{0x4B7C, 0x2005};

}  // namespace regdiag::usb::testing
