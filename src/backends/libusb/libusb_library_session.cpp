// The session's life and its window-thread side: starting and stopping,
// transfers in flight, and attach and detach on the window thread. What the
// event thread does is in libusb_session_watch.cpp.
#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

#include "backends/libusb/libusb_library_session.h"

namespace regdiag::usb::libusb_detail {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The waiter's deadline comes this long after libusb's own time-out, which
// ends the transfer first; it only guards against a time-out that never
// fires.
constexpr milliseconds kTimeoutGrace{2000};

int LIBUSB_CALL HotplugCallback(libusb_context* /*context*/, libusb_device* device,
                                libusb_hotplug_event event, void* userData) {
  static_cast<LibusbSession*>(userData)->Queue(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, device);
  return 0;  // stay registered
}

// Interface 0 becomes ours; a kernel driver bound to it is set aside while
// we hold it and comes back when we release it.
UsbStatus ClaimInterfaceZero(libusb_device_handle* handle) {
  const int detach = libusb_set_auto_detach_kernel_driver(handle, 1);
  if (detach != LIBUSB_SUCCESS && detach != LIBUSB_ERROR_NOT_SUPPORTED) {
    return StatusFromLibusbError(detach);
  }
  const int claim = libusb_claim_interface(handle, 0);
  return claim == LIBUSB_SUCCESS ? kStatusSuccess : StatusFromLibusbError(claim);
}

}  // namespace

OpenDevice::~OpenDevice() {
  if (handle && claimed) {
    // The device may already be gone; it is closed below either way.
    static_cast<void>(libusb_release_interface(handle.get(), 0));
  }
}

void Flight::WaitFinished() {
  std::unique_lock lock(mutex);
  finishedChanged.wait(lock, [this] { return finished; });
}

// --- Starting and stopping (window thread) ----------------------------------

UsbStatus LibusbSession::Start(Setup setup, std::shared_ptr<LibusbSession>* session) {
  libusb_context* raw = nullptr;
  const int init = libusb_init(&raw);
  if (init != LIBUSB_SUCCESS) {
    return StatusFromLibusbError(init);
  }
  ContextPtr context(raw);
  auto started = std::make_shared<LibusbSession>(std::move(context), std::move(setup));
  const UsbStatus status = started->Begin();
  if (status != kStatusSuccess) {
    started->Stop();
    return status;
  }
  *session = std::move(started);
  return kStatusSuccess;
}

LibusbSession::LibusbSession(ContextPtr context, Setup setup)
    : context_(std::move(context)), setup_(std::move(setup)) {}

LibusbSession::~LibusbSession() { Stop(); }

UsbStatus LibusbSession::Begin() {
  polling_ = setup_.options.forcePolling || libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0;
  if (!polling_) {
    callbacks_.reserve(setup_.matches.size());
    for (const MatchEntry& match : setup_.matches) {
      // With ENUMERATE, devices already present are reported at once (on
      // this thread); they wait in the queue for the event thread.
      libusb_hotplug_callback_handle callback = 0;
      const int registered = libusb_hotplug_register_callback(
          context_.get(), LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
          LIBUSB_HOTPLUG_ENUMERATE, match.vendorId, match.productId, LIBUSB_HOTPLUG_MATCH_ANY,
          &HotplugCallback, this, &callback);
      if (registered != LIBUSB_SUCCESS) {
        return StatusFromLibusbError(registered);
      }
      callbacks_.push_back(callback);
    }
  }
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return kStatusInternalError;
  }
  return kStatusSuccess;
}

void LibusbSession::Stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  // A caller that ends the session from inside a transfer's wait gets that
  // transfer back cancelled; its end comes through the event thread, so
  // this goes before the thread stops.
  EndFlights(0, kStatusCancelled);
  {
    std::lock_guard lock(wakeMutex_);
    stopping_ = true;
  }
  for (const libusb_hotplug_callback_handle callback : callbacks_) {
    libusb_hotplug_deregister_callback(context_.get(), callback);
  }
  callbacks_.clear();
  libusb_interrupt_event_handler(context_.get());
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  // Release everything while the context still exists.
  std::map<DeviceHandle, OpenDevice> devices;
  {
    std::lock_guard lock(devicesMutex_);
    devices.swap(devices_);
  }
  devices.clear();
  std::vector<QueuedEvent> queued;
  {
    std::lock_guard lock(queueMutex_);
    queued.swap(queue_);
  }
  queued.clear();
  known_.clear();
  context_.reset();
}

bool LibusbSession::Stopping() {
  std::lock_guard lock(wakeMutex_);
  return stopping_;
}

bool LibusbSession::WaitForStop(milliseconds time) {
  std::unique_lock lock(wakeMutex_);
  return wake_.wait_for(lock, time, [this] { return stopping_; });
}

// --- Transfers (window thread) ----------------------------------------------

UsbStatus LibusbSession::Fly(Flight& flight, std::uint32_t timeoutMs) {
  const int submitted = libusb_submit_transfer(flight.transfer);
  if (submitted != LIBUSB_SUCCESS) {
    libusb_free_transfer(std::exchange(flight.transfer, nullptr));
    return StatusFromLibusbError(submitted);
  }
  flights_.push_back(&flight);
  bool wanted = true;
  bool overdue = false;
  if (flight.waiter != nullptr) {
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs) + kTimeoutGrace;
    wanted = flight.waiter->WaitUntil([&flight] { return flight.ended.load(); }, deadline);
    overdue = wanted && !flight.ended.load();
    if ((!wanted || overdue) && flight.transfer != nullptr) {
      static_cast<void>(libusb_cancel_transfer(flight.transfer));  // NOT_FOUND once it has ended
    }
  }
  flight.WaitFinished();
  std::erase(flights_, &flight);
  if (flight.transfer == nullptr) {
    return flight.endedBySession;
  }
  const libusb_transfer_status ending = flight.transfer->status;
  flight.actual = flight.transfer->actual_length;
  libusb_free_transfer(std::exchange(flight.transfer, nullptr));
  if (!wanted) {
    return kStatusCancelled;
  }
  return overdue ? kStatusTimeout : StatusFromLibusbError(ending);
}

void LibusbSession::EndFlights(DeviceHandle device, UsbStatus why) {
  std::vector<Flight*> ending;
  for (Flight* flight : flights_) {
    if (flight->transfer != nullptr && (device == 0 || flight->device == device)) {
      ending.push_back(flight);
    }
  }
  for (Flight* flight : ending) {
    static_cast<void>(libusb_cancel_transfer(flight->transfer));
  }
  for (Flight* flight : ending) {
    flight->WaitFinished();
    flight->actual = flight->transfer->actual_length;
    libusb_free_transfer(std::exchange(flight->transfer, nullptr));
    flight->endedBySession = why;
  }
}

// --- Attach and detach (window thread) --------------------------------------

// Tells the event thread what the window decided, and wakes it.
void LibusbSession::Tell(EventKind kind, DeviceHandle handle) {
  try {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(QueuedEvent{kind, nullptr, handle});
  } catch (const std::bad_alloc&) {
    return;  // the device stays where it is until it is plugged in again
  }
  libusb_interrupt_event_handler(context_.get());
}

// Work for the window thread holds only a weak reference: it finds nothing
// to do once the session has stopped or gone.
void LibusbSession::ToWindow(std::function<void(LibusbSession&)> work) {
  setup_.dispatch([weak = weak_from_this(), work = std::move(work)] {
    const std::shared_ptr<LibusbSession> session = weak.lock();
    if (session && !session->Stopping()) {
      work(*session);
    }
  });
}

void LibusbSession::Notify(const std::string& text) {
  if (setup_.events.notice) {
    setup_.events.notice(text);
  }
}

// The interface is claimed before the attach handler runs, so the handler
// may already use the device. A device whose interface cannot be claimed
// (another program holds it) is closed and only a notice tells of it. A
// declined device is closed and set aside.
void LibusbSession::AttachOnWindow(DeviceHandle device, const DeviceInfo& info) {
  libusb_device_handle* handle = nullptr;
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  {
    std::lock_guard lock(devicesMutex_);
    const auto it = devices_.find(device);
    if (it == devices_.end()) {
      return;
    }
    handle = it->second.handle.get();
    bus = it->second.bus;
    address = it->second.address;
  }
  const UsbStatus claim = ClaimInterfaceZero(handle);
  if (claim != kStatusSuccess) {
    Take(device);
    if (claim != kStatusNoDevice) {  // a device that left needs no word
      Notify(FoundAt(bus, address) + " but its interface cannot be claimed: " + StatusDescription(claim) +
             ".");
    }
    return;
  }
  {
    std::lock_guard lock(devicesMutex_);
    OpenDevice& open = devices_.at(device);
    open.claimed = true;
    open.pipes = info.activeSetting.pipes;
  }
  const DeviceEventTable& events = setup_.events;
  const bool accepted = events.attach && events.attach(device, info, events.userData);
  if (Stopping()) {
    return;  // the handler ended the session, which closed the device
  }
  if (!accepted) {
    Take(device);  // closed at once
    Tell(EventKind::Declined, device);
    return;
  }
  static_cast<void>(WithClaimedDevice(device, [](OpenDevice& open) { open.held = true; }));
}

// The device is closed before the detach handler runs: it is gone anyway,
// and the handler may end the session, and with it the context. A transfer
// still waiting on it is ended first: a handle is never closed under one.
void LibusbSession::DepartOnWindow(DeviceHandle device) {
  EndFlights(device, kStatusNoDevice);
  std::optional<OpenDevice> gone = Take(device);
  if (!gone) {
    return;
  }
  const bool held = gone->held;
  gone.reset();
  if (!held) {
    return;
  }
  if (setup_.events.detach) {
    setup_.events.detach(device, setup_.events.userData);
  }
  if (!Stopping()) {
    Tell(EventKind::HeldLeft, 0);
  }
}

std::optional<OpenDevice> LibusbSession::Take(DeviceHandle device) {
  std::lock_guard lock(devicesMutex_);
  const auto it = devices_.find(device);
  if (it == devices_.end()) {
    return std::nullopt;
  }
  std::optional<OpenDevice> taken(std::move(it->second));
  devices_.erase(it);
  return taken;
}

}  // namespace regdiag::usb::libusb_detail
