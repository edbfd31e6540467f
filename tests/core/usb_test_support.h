// Test stand-ins for the window thread of the USB library: a dispatcher that
// only queues, drained when the test says the window processes its events,
// and a recorder of the session's handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/usb_lib/usb_lib.h"

namespace regdiag::usb::testing {

// Callables given to the dispatcher wait here until RunAll. Safe to feed
// from any thread.
class DispatchQueue {
 public:
  [[nodiscard]] Dispatcher dispatcher() {
    return [this](std::function<void()> work) {
      std::lock_guard lock(mutex_);
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
        std::lock_guard lock(mutex_);
        batch.swap(pending_);
      }
      if (batch.empty()) {
        return ran;
      }
      for (auto& work : batch) {
        work();
        ++ran;
      }
    }
  }

  [[nodiscard]] std::size_t Pending() {
    std::lock_guard lock(mutex_);
    return pending_.size();
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
  int userDataSeen = 0;
  int userDataMismatch = 0;

  [[nodiscard]] DeviceEventTable Table() {
    DeviceEventTable table;
    table.userData = this;
    table.attach = [this](DeviceHandle device, const DeviceInfo& info, void* userData) {
      Check(userData);
      attached.push_back(device);
      infos.push_back(info);
      return decide ? decide(device, info) : true;
    };
    table.detach = [this](DeviceHandle device, void* userData) {
      Check(userData);
      detached.push_back(device);
    };
    table.notice = [this](const std::string& text) { notices.push_back(text); };
    return table;
  }

 private:
  void Check(void* userData) {
    ++userDataSeen;
    if (userData != this) {
      ++userDataMismatch;
    }
  }
};

inline constexpr std::uint16_t kBridgeVendor = 0x4B7C;
inline constexpr std::uint16_t kBridgeProduct = 0x2005;
inline constexpr MatchEntry kBridgeMatch{kBridgeVendor, kBridgeProduct};

}  // namespace regdiag::usb::testing
