// The session's event thread: it handles libusb's events, follows matching
// devices while they are plugged in, opens them and offers them to the
// window, retries those that refuse to open, and offers a device set aside
// again when the held one leaves.
//
// The thread never sleeps on a retry: every due time shortens the wait for
// libusb's events instead, so stopping and hot-plug stay prompt.
#include <algorithm>
#include <set>
#include <utility>

#include "backends/libusb/libusb_library_session.h"

namespace regdiag::usb::libusb_detail {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr milliseconds kEventRound{100};
constexpr milliseconds kFirstOpenRetry{50};

struct DeviceListFree {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

}  // namespace

void LibusbSession::Queue(bool arrived, libusb_device* device) noexcept {
  DeviceRef ref(libusb_ref_device(device));
  try {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(QueuedEvent{arrived ? EventKind::Arrived : EventKind::Left, std::move(ref), 0});
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
    RetryOpens();
    const microseconds wait = UntilNextDue(nextPoll);
    timeval round{static_cast<decltype(timeval::tv_sec)>(wait.count() / 1000000),
                  static_cast<decltype(timeval::tv_usec)>(wait.count() % 1000000)};
    const int handled = libusb_handle_events_timeout_completed(context_.get(), &round, nullptr);
    if (handled != LIBUSB_SUCCESS && handled != LIBUSB_ERROR_INTERRUPTED) {
      WaitForStop(kEventRound);  // keeps a failing libusb from spinning this thread
    }
  }
}

microseconds LibusbSession::UntilNextDue(steady_clock::time_point nextPoll) const {
  const auto now = steady_clock::now();
  auto due = now + kEventRound;
  if (polling_) {
    due = std::min(due, nextPoll);
  }
  for (const auto& [device, known] : known_) {
    if (known.stage == Stage::Opening) {
      due = std::min(due, known.retryAt);
    }
  }
  return std::max(std::chrono::duration_cast<microseconds>(due - now), microseconds(0));
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
    switch (event.kind) {
      case EventKind::Arrived:
        Arrive(std::move(event.device));
        break;
      case EventKind::Left:
        Depart(event.device.get());
        break;
      case EventKind::Declined:
        SetAside(event.handle);
        break;
      case EventKind::HeldLeft:
        ++round_;
        OfferAside();
        break;
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
  KnownDevice& known = known_[raw];
  known.device = std::move(device);
  known.order = ++arrivals_;
  known.arrived = steady_clock::now();
  if (ReadDeviceInfo(raw, 0, &known.info) != kStatusSuccess || !Wanted(known.info)) {
    known.stage = Stage::Ignored;
    return;
  }
  TryOpen(raw, known);
}

void LibusbSession::Depart(libusb_device* device) {
  const auto it = known_.find(device);
  if (it == known_.end()) {
    return;
  }
  const bool offered = it->second.stage == Stage::Offered;
  const DeviceHandle id = it->second.handle;
  known_.erase(it);
  if (offered) {
    ToWindow([id](LibusbSession& session) { session.DepartOnWindow(id); });
  }
}

// One attempt to open, never a wait. A device that has just arrived may
// refuse for a moment, until the system has set its permissions, so early
// refusals are tried again, at growing intervals. One that still refuses
// for lack of permission gets the notice once and is tried again now and
// then, for the permissions may be mended while it stays plugged in.
void LibusbSession::TryOpen(libusb_device* device, KnownDevice& known) {
  libusb_device_handle* opened = nullptr;
  const int error = libusb_open(device, &opened);
  const auto now = steady_clock::now();
  known.stage = Stage::Opening;
  if (error == LIBUSB_SUCCESS) {
    Offer(device, known, HandlePtr(opened));
    return;
  }
  const auto settled = known.arrived + milliseconds(setup_.options.openRetryWindowMs);
  const bool passing = (error == LIBUSB_ERROR_NOT_FOUND || error == LIBUSB_ERROR_BUSY) && now < settled;
  if (error != LIBUSB_ERROR_ACCESS && !passing) {
    known.stage = Stage::Ignored;
    ReportOpenFailure(device, error);
    return;
  }
  if (now >= settled && !std::exchange(known.noticeGiven, true)) {
    ReportOpenFailure(device, error);
  }
  known.backoff = std::min(known.backoff.count() == 0 ? kFirstOpenRetry : known.backoff * 2,
                           milliseconds(setup_.options.reopenPeriodMs));
  known.retryAt = now + known.backoff;
  if (now < settled) {
    known.retryAt = std::min(known.retryAt, settled);  // the notice comes when the window ends
  }
}

void LibusbSession::Offer(libusb_device* device, KnownDevice& known, HandlePtr handle) {
  if (known.handle == 0) {
    known.handle = setup_.nextHandle->fetch_add(1);
  }
  {
    std::lock_guard lock(devicesMutex_);
    // Should the id be taken, the handle is closed on return, outside the lock.
    devices_.try_emplace(known.handle, std::move(handle), libusb_get_bus_number(device),
                         libusb_get_device_address(device));
  }
  known.stage = Stage::Offered;
  known.backoff = milliseconds(0);
  ToWindow(
      [id = known.handle, info = known.info](LibusbSession& session) { session.AttachOnWindow(id, info); });
}

void LibusbSession::RetryOpens() {
  const auto now = steady_clock::now();
  for (auto& [device, known] : known_) {
    if (known.stage == Stage::Opening && known.retryAt <= now) {
      TryOpen(device, known);
    }
  }
}

// The window declined the device (it holds another): it waits aside. When it
// was declined during an offer round, the next one aside gets its turn.
void LibusbSession::SetAside(DeviceHandle handle) {
  const auto it =
      std::ranges::find_if(known_, [&](const auto& entry) { return entry.second.handle == handle; });
  if (it == known_.end() || it->second.stage != Stage::Offered) {
    return;
  }
  it->second.stage = Stage::Aside;
  if (it->second.offerRound == round_ && round_ != 0) {
    OfferAside();
  }
}

// After the held device has left: offers the device set aside longest ago
// that this departure has not offered yet, so that none is offered twice.
// The window's answer comes later; a decline brings the next one.
void LibusbSession::OfferAside() {
  for (;;) {
    libusb_device* device = nullptr;
    KnownDevice* next = nullptr;
    for (auto& [raw, known] : known_) {
      if (known.stage == Stage::Aside && known.offerRound != round_ &&
          (next == nullptr || known.order < next->order)) {
        device = raw;
        next = &known;
      }
    }
    if (next == nullptr) {
      return;
    }
    next->offerRound = round_;
    TryOpen(device, *next);
    if (next->stage == Stage::Offered) {
      return;
    }
  }
}

void LibusbSession::ReportOpenFailure(libusb_device* device, int error) {
  const std::uint8_t bus = libusb_get_bus_number(device);
  const std::uint8_t address = libusb_get_device_address(device);
  if (error == LIBUSB_ERROR_ACCESS) {
    ToWindow([text = PermissionNotice(bus, address)](LibusbSession& session) { session.Notify(text); });
  } else if (error != LIBUSB_ERROR_NO_DEVICE) {  // a device that left needs no word
    const std::string text = FoundAt(bus, address) +
                             " but it cannot be opened: " + StatusDescription(StatusFromLibusbError(error)) +
                             ".";
    ToWindow([text](LibusbSession& session) { session.Notify(text); });
  }
}

}  // namespace regdiag::usb::libusb_detail
