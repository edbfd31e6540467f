// Inside the libusb-1.0 backend: the owners of libusb objects and the session
// that watches for bridges. Not part of the library's interface.
//
// Locking rule: no libusb function is ever called while one of the session's
// mutexes is held. libusb takes its own event lock in calls such as
// libusb_close while the event thread holds it and may be inside our hot-plug
// callback, which takes the queue mutex; holding ours there could deadlock.
#pragma once

#include <libusb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/usb_lib/libusb_library.h"

namespace regdiag::usb::libusb_detail {

struct ContextCloser {
  void operator()(libusb_context* context) const { libusb_exit(context); }
};
using ContextPtr = std::unique_ptr<libusb_context, ContextCloser>;

struct DeviceUnref {
  void operator()(libusb_device* device) const { libusb_unref_device(device); }
};
using DeviceRef = std::unique_ptr<libusb_device, DeviceUnref>;

struct HandleCloser {
  void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using HandlePtr = std::unique_ptr<libusb_device_handle, HandleCloser>;

// Reads the device descriptor and the given alternate setting of interface
// 0 of the active configuration. Returns a libusb error code.
[[nodiscard]] int ReadDeviceInfo(libusb_device* device, std::uint8_t alternateSetting, DeviceInfo* info);

// A device we opened. Destroying it releases interface 0 when it was
// claimed, then closes the device.
struct OpenDevice {
  OpenDevice(HandlePtr openHandle, std::uint8_t busNumber, std::uint8_t deviceAddress)
      : handle(std::move(openHandle)), bus(busNumber), address(deviceAddress) {}
  ~OpenDevice();
  OpenDevice(OpenDevice&&) noexcept = default;
  OpenDevice& operator=(OpenDevice&&) = delete;
  OpenDevice(const OpenDevice&) = delete;
  OpenDevice& operator=(const OpenDevice&) = delete;

  HandlePtr handle;
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  bool claimed = false;  // interface 0 is ours: the handle is usable
  bool held = false;     // the attach handler accepted the device
  std::uint8_t alternateSetting = 0;
  std::vector<PipeRecord> pipes;  // of the active alternate setting
};

// One session of the backend: a libusb context, the thread that handles its
// events and watches for bridges, and the devices opened for the window.
// Created and stopped on the window thread.
class LibusbSession : public std::enable_shared_from_this<LibusbSession> {
 public:
  struct Setup {
    LibusbOptions options;
    std::vector<MatchEntry> matches;
    DeviceEventTable events;
    Dispatcher dispatch;
    std::atomic<DeviceHandle>* nextHandle = nullptr;  // shared by all sessions of a library
  };

  // Opens a context and starts looking for the matching devices.
  [[nodiscard]] static UsbStatus Start(Setup setup, std::shared_ptr<LibusbSession>* session);

  LibusbSession(ContextPtr context, Setup setup);
  ~LibusbSession();
  LibusbSession(const LibusbSession&) = delete;
  LibusbSession& operator=(const LibusbSession&) = delete;

  // Stops the thread, closes every device and the context. Queued window
  // work does nothing afterwards. Safe to call more than once.
  void Stop();

  // Runs visit(OpenDevice&) under the device lock when the handle belongs to
  // a claimed device; visit must not call libusb. False when there is none.
  template <typename Visit>
  bool WithClaimedDevice(DeviceHandle device, Visit&& visit) {
    std::lock_guard lock(devicesMutex_);
    const auto it = devices_.find(device);
    if (it == devices_.end() || !it->second.claimed) {
      return false;
    }
    visit(it->second);
    return true;
  }

  // Called from the hot-plug callback and the enumeration: no I/O.
  void Queue(bool arrived, libusb_device* device) noexcept;

 private:
  struct QueuedEvent {
    bool arrived = false;
    DeviceRef device;
  };
  struct KnownDevice {
    DeviceRef device;
    DeviceHandle handle = 0;  // 0: seen but not opened
  };

  [[nodiscard]] UsbStatus Begin();
  [[nodiscard]] bool Stopping();
  // Sleeps up to the given time; true when the session is stopping.
  bool WaitForStop(std::chrono::milliseconds time);
  void Run();
  void Enumerate();
  void ProcessQueue();
  void Arrive(DeviceRef device);
  void Depart(libusb_device* device);
  [[nodiscard]] bool Wanted(const DeviceInfo& info) const;
  [[nodiscard]] HandlePtr OpenWithRetries(libusb_device* device, int* error);
  void ReportOpenFailure(libusb_device* device, int error);

  // Window thread.
  void ToWindow(std::function<void(LibusbSession&)> work);
  void Notify(const std::string& text);
  void AttachOnWindow(DeviceHandle device, const DeviceInfo& info);
  void DepartOnWindow(DeviceHandle device);
  // Removes a device from the table; closing it is the caller's, outside
  // the lock, when the returned object goes.
  std::optional<OpenDevice> Take(DeviceHandle device);

  // Declared first, destroyed last: everything below may need the context.
  ContextPtr context_;
  Setup setup_;
  bool polling_ = false;
  bool stopped_ = false;  // window thread
  std::vector<libusb_hotplug_callback_handle> callbacks_;

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;

  std::mutex queueMutex_;
  std::vector<QueuedEvent> queue_;

  std::mutex devicesMutex_;
  std::map<DeviceHandle, OpenDevice> devices_;

  std::map<libusb_device*, KnownDevice> known_;  // event thread
  std::thread thread_;
};

}  // namespace regdiag::usb::libusb_detail
