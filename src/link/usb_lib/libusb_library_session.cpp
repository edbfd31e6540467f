#include "link/usb_lib/libusb_library_session.h"

#include <algorithm>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace regdiag::usb::libusb_detail {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kEventRound{100};
constexpr milliseconds kOpenRetryPeriod{50};

int LIBUSB_CALL HotplugCallback(libusb_context* /*context*/, libusb_device* device,
                                libusb_hotplug_event event, void* userData) {
  static_cast<LibusbSession*>(userData)->Queue(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, device);
  return 0;  // stay registered
}

struct DeviceListFree {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

std::string Where(std::uint8_t bus, std::uint8_t address) {
  return "USB-to-I2C interface found (bus " + std::to_string(bus) + ", device " + std::to_string(address) +
         ")";
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

// --- The event thread -------------------------------------------------------

void LibusbSession::Queue(bool arrived, libusb_device* device) noexcept {
  DeviceRef ref(libusb_ref_device(device));
  try {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(QueuedEvent{arrived, std::move(ref)});
  } catch (...) {
    // Out of memory: the event is lost, the reference released by ref.
  }
}

void LibusbSession::Run() {
  auto nextPoll = steady_clock::now();
  while (!Stopping()) {
    if (polling_ && steady_clock::now() >= nextPoll) {
      Enumerate();
      nextPoll = steady_clock::now() + milliseconds(setup_.options.pollPeriodMs);
    }
    ProcessQueue();
    timeval round{0, static_cast<decltype(timeval::tv_usec)>(kEventRound.count() * 1000)};
    const int handled = libusb_handle_events_timeout_completed(context_.get(), &round, nullptr);
    if (handled != LIBUSB_SUCCESS && handled != LIBUSB_ERROR_INTERRUPTED) {
      WaitForStop(kEventRound);  // keeps a failing libusb from spinning this thread
    }
  }
}

// Without hot-plug: compares the present matching devices with those known
// and queues the differences as arrivals and departures.
void LibusbSession::Enumerate() {
  libusb_device** raw = nullptr;
  const ssize_t count = libusb_get_device_list(context_.get(), &raw);
  if (count < 0) {
    return;  // tried again at the next period
  }
  const std::unique_ptr<libusb_device*, DeviceListFree> list(raw);
  std::set<libusb_device*> present;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(raw[i], &descriptor) != LIBUSB_SUCCESS) {
      continue;
    }
    const bool listed = std::ranges::any_of(setup_.matches, [&](const MatchEntry& match) {
      return match.vendorId == descriptor.idVendor && match.productId == descriptor.idProduct;
    });
    if (listed) {
      present.insert(raw[i]);
      if (!known_.contains(raw[i])) {
        Queue(true, raw[i]);
      }
    }
  }
  for (const auto& [device, known] : known_) {
    if (!present.contains(device)) {
      Queue(false, device);
    }
  }
}

void LibusbSession::ProcessQueue() {
  std::vector<QueuedEvent> events;
  {
    std::lock_guard lock(queueMutex_);
    events.swap(queue_);
  }
  for (QueuedEvent& event : events) {
    if (Stopping()) {
      return;
    }
    if (event.arrived) {
      Arrive(std::move(event.device));
    } else {
      Depart(event.device.get());
    }
  }
}

bool LibusbSession::Wanted(const DeviceInfo& info) const {
  return std::ranges::any_of(setup_.matches, [&](const MatchEntry& match) {
    return MatchesEntry(match, info.deviceDescriptor, &info.activeSetting.descriptor);
  });
}

void LibusbSession::Arrive(DeviceRef device) {
  libusb_device* raw = device.get();
  if (known_.contains(raw)) {
    return;  // reported twice: by the enumeration and by the event
  }
  known_.emplace(raw, KnownDevice{std::move(device), 0});
  DeviceInfo info;
  if (ReadDeviceInfo(raw, 0, &info) != LIBUSB_SUCCESS || !Wanted(info)) {
    return;
  }
  int error = LIBUSB_SUCCESS;
  HandlePtr handle = OpenWithRetries(raw, &error);
  if (!handle) {
    ReportOpenFailure(raw, error);
    return;
  }
  const DeviceHandle id = setup_.nextHandle->fetch_add(1);
  {
    std::lock_guard lock(devicesMutex_);
    devices_.try_emplace(id, std::move(handle), libusb_get_bus_number(raw), libusb_get_device_address(raw));
  }
  known_.at(raw).handle = id;
  ToWindow([id, info](LibusbSession& session) { session.AttachOnWindow(id, info); });
}

void LibusbSession::Depart(libusb_device* device) {
  const auto it = known_.find(device);
  if (it == known_.end()) {
    return;
  }
  const DeviceHandle id = it->second.handle;
  known_.erase(it);
  if (id != 0) {
    ToWindow([id](LibusbSession& session) { session.DepartOnWindow(id); });
  }
}

// A device that has just arrived may refuse to open for a moment, until the
// system has set its permissions; those refusals are retried.
HandlePtr LibusbSession::OpenWithRetries(libusb_device* device, int* error) {
  const auto deadline = steady_clock::now() + milliseconds(setup_.options.openRetryWindowMs);
  for (;;) {
    libusb_device_handle* handle = nullptr;
    *error = libusb_open(device, &handle);
    if (*error == LIBUSB_SUCCESS) {
      return HandlePtr(handle);
    }
    const bool passing =
        *error == LIBUSB_ERROR_ACCESS || *error == LIBUSB_ERROR_NOT_FOUND || *error == LIBUSB_ERROR_BUSY;
    if (!passing || steady_clock::now() >= deadline || WaitForStop(kOpenRetryPeriod)) {
      return nullptr;
    }
  }
}

void LibusbSession::ReportOpenFailure(libusb_device* device, int error) {
  const std::uint8_t bus = libusb_get_bus_number(device);
  const std::uint8_t address = libusb_get_device_address(device);
  if (error == LIBUSB_ERROR_ACCESS) {
    ToWindow([text = PermissionNotice(bus, address)](LibusbSession& session) { session.Notify(text); });
  } else if (error != LIBUSB_ERROR_NO_DEVICE) {  // a device that left needs no word
    const std::string text = Where(bus, address) +
                             " but it cannot be opened: " + StatusDescription(StatusFromLibusbError(error)) +
                             ".";
    ToWindow([text](LibusbSession& session) { session.Notify(text); });
  }
}

// --- The window thread ------------------------------------------------------

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
// (another program holds it) is closed and only a notice tells of it.
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
      const std::string text =
          Where(bus, address) + " but its interface cannot be claimed: " + StatusDescription(claim) + ".";
      ToWindow([text](LibusbSession& session) { session.Notify(text); });
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
    return;
  }
  static_cast<void>(WithClaimedDevice(device, [](OpenDevice& open) { open.held = true; }));
}

// The device is closed before the detach handler runs: it is gone anyway,
// and the handler may end the session, and with it the context.
void LibusbSession::DepartOnWindow(DeviceHandle device) {
  std::optional<OpenDevice> gone = Take(device);
  if (!gone) {
    return;
  }
  const bool held = gone->held;
  gone.reset();
  if (held && setup_.events.detach) {
    setup_.events.detach(device, setup_.events.userData);
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
