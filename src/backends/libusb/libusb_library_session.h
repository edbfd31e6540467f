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

#include "backends/libusb/libusb_library.h"

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
// 0 of the active configuration.
[[nodiscard]] UsbStatus ReadDeviceInfo(libusb_device* device, std::uint8_t alternateSetting,
                                       DeviceInfo* info);

// "USB-to-I2C interface found (bus 1, device 2)": how notices name a bridge.
[[nodiscard]] std::string FoundAt(std::uint8_t busNumber, std::uint8_t deviceAddress);

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

// One transfer in flight. It lives on the stack of the UsbTransfer call that
// submitted it (window thread), which alone frees it, unless the session has
// to end it first (the device left, the session stops).
//
// The completion callback runs on the event thread: it sets `ended`, wakes
// the waiter, and last sets `finished` under the mutex; after that it touches
// nothing of the flight, so the flight may go once `finished` is seen.
struct Flight {
  libusb_transfer* transfer = nullptr;  // null once freed
  DeviceHandle device = 0;
  TransferWaiter* waiter = nullptr;
  std::atomic<bool> ended{false};
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool finished = false;
  int actual = 0;  // bytes moved, taken when the transfer is freed
  // Non-zero when the session ended and freed the transfer: what to report.
  UsbStatus endedBySession = kStatusSuccess;

  void WaitFinished();
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

  // Ends every transfer in flight, stops the thread, closes every device and
  // the context. Queued window work does nothing afterwards. Safe to call
  // more than once.
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

  // Window thread. Submits the filled transfer of `flight` and waits for its
  // end, through the flight's waiter when it has one. Returns kStatusCancelled
  // when the waiter gave the transfer up. Frees the transfer.
  [[nodiscard]] UsbStatus Fly(Flight& flight, std::uint32_t timeoutMs);

  // Called from the hot-plug callback and the enumeration: no I/O.
  void Queue(bool arrived, libusb_device* device) noexcept;

 private:
  enum class EventKind { Arrived, Left, Declined, HeldLeft };
  struct QueuedEvent {
    EventKind kind = EventKind::Arrived;
    DeviceRef device;         // Arrived, Left
    DeviceHandle handle = 0;  // Declined
  };
  enum class Stage {
    Opening,  // not open yet: tried again at retryAt
    Offered,  // open and handed to the window, which may hold it
    Aside,    // declined by the attach handler: offered again when the held one leaves
    Ignored,  // not ours, or it cannot be opened: left alone until it goes
  };
  // A matching device while it is plugged in (event thread).
  struct KnownDevice {
    DeviceRef device;
    DeviceInfo info;
    Stage stage = Stage::Opening;
    DeviceHandle handle = 0;       // given at the first open, kept for later offers
    std::uint64_t order = 0;       // arrival order: the oldest aside is offered first
    std::uint64_t offerRound = 0;  // the last departure of a held device that offered it
    std::chrono::steady_clock::time_point arrived;
    std::chrono::steady_clock::time_point retryAt;
    std::chrono::milliseconds backoff{0};  // between failed opens
    bool noticeGiven = false;              // the permission notice goes out once per plug-in
  };

  [[nodiscard]] UsbStatus Begin();
  [[nodiscard]] bool Stopping();
  bool WaitForStop(std::chrono::milliseconds time);
  // Cancels the transfers in flight (of one device, or all for 0), waits for
  // their ends and frees them; their callers then report `why`.
  void EndFlights(DeviceHandle device, UsbStatus why);

  // Event thread (libusb_session_watch.cpp).
  void Run();
  void Enumerate();
  void ProcessQueue();
  void Arrive(DeviceRef device);
  void Depart(libusb_device* device);
  void SetAside(DeviceHandle handle);
  void OfferAside();
  void TryOpen(libusb_device* device, KnownDevice& known);
  void Offer(libusb_device* device, KnownDevice& known, HandlePtr handle);
  void RetryOpens();
  [[nodiscard]] std::chrono::microseconds UntilNextDue(std::chrono::steady_clock::time_point nextPoll) const;
  [[nodiscard]] bool Wanted(const DeviceInfo& info) const;
  void ReportOpenFailure(libusb_device* device, int error);

  // Window thread.
  void Tell(EventKind kind, DeviceHandle handle);
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
  std::vector<Flight*> flights_;  // window thread

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;

  std::mutex queueMutex_;
  std::vector<QueuedEvent> queue_;

  std::mutex devicesMutex_;
  std::map<DeviceHandle, OpenDevice> devices_;

  // Event thread.
  std::map<libusb_device*, KnownDevice> known_;
  std::uint64_t arrivals_ = 0;
  std::uint64_t round_ = 0;  // departures of a held device so far
  std::thread thread_;
};

}  // namespace regdiag::usb::libusb_detail
