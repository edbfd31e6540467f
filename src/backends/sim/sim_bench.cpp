// The simulated bench: the library session that reports bridges as they are
// plugged and unplugged, and the bridges themselves.
#include <algorithm>
#include <utility>

#include "backends/sim/sim_bridge.h"

namespace regdiag::usb {

namespace {

bool FieldMatches(std::uint8_t wanted, std::uint8_t actual) { return wanted == 0 || wanted == actual; }

}  // namespace

// --- Session ---------------------------------------------------------------

UsbStatus SimUsbLibrary::UsbInit(DriverHandle* driver, std::span<const MatchEntry> matches,
                                 const DeviceEventTable& events, std::uint32_t /*options*/,
                                 Dispatcher dispatch) {
  ++initCalls_;
  if (driver == nullptr) {
    return kStatusInvalidParameter;
  }
  *driver = 0;
  if (failNextInit_) {
    auto [status, text] = *std::exchange(failNextInit_, std::nullopt);
    if (text) {
      statusTexts_[status] = *text;
    } else {
      statusTexts_.erase(status);
    }
    return status;
  }
  if (session_) {
    return kStatusAlreadyInitialized;
  }
  if (!dispatch) {
    return kStatusInvalidParameter;
  }
  session_ = Session{nextDriverHandle_++, {matches.begin(), matches.end()}, events, std::move(dispatch)};
  ++*generation_;
  *driver = session_->handle;
  for (const auto& [id, bridge] : bridges_) {
    if (Matches(*bridge)) {
      Announce(id);
    }
  }
  return kStatusSuccess;
}

void SimUsbLibrary::UsbUninit(DriverHandle driver) {
  ++uninitCalls_;
  if (!session_ || driver != session_->handle) {
    return;
  }
  session_.reset();
  ++*generation_;
  accepted_.clear();
  declined_.clear();
}

void SimUsbLibrary::Post(std::function<void()> notification) {
  std::weak_ptr<std::uint64_t> generation = generation_;
  session_->dispatch([generation, expected = *generation_, notification = std::move(notification)] {
    const std::shared_ptr<std::uint64_t> current = generation.lock();
    if (current && *current == expected) {
      notification();
    }
  });
}

void SimUsbLibrary::Announce(int bridgeId) {
  SimBridge& bridge = *bridges_.at(bridgeId);
  if (bridge.handle == 0) {
    bridge.handle = nextDeviceHandle_++;
  }
  Post([this, bridgeId, handle = bridge.handle] { RunAttach(bridgeId, handle); });
}

void SimUsbLibrary::RunAttach(int bridgeId, DeviceHandle handle) {
  const auto it = bridges_.find(bridgeId);
  if (it == bridges_.end() || accepted_.contains(handle)) {
    return;  // unplugged before the window saw it, or already held
  }
  // A copy: the handler may end the session, and with it session_->events.
  const DeviceEventTable events = session_->events;
  if (!events.attach) {
    return;
  }
  SimBridge& bridge = *it->second;
  if (std::exchange(bridge.staleReply, false)) {
    bridge.pipe.push_back({VirtualBridge::kStatusOk, bridge.chip.UnheldValue()});
  }
  const DeviceInfo info = bridge.Info();
  const std::uint64_t generation = *generation_;
  attaching_ = handle;
  const bool accepted = events.attach(handle, info, events.userData);
  attaching_ = 0;
  // Accepted even if the handler unplugged the bridge: the detach already
  // queued behind this call then reports it.
  if (*generation_ != generation) {
    return;
  }
  if (accepted) {
    accepted_.insert(handle);
  } else {
    declined_.insert(handle);  // set aside, offered again when the held one leaves
  }
}

void SimUsbLibrary::RunDetach(DeviceHandle handle) {
  if (accepted_.erase(handle) == 0) {
    return;  // never accepted: declined devices are not reported
  }
  const DeviceEventTable events = session_->events;
  if (events.detach) {
    events.detach(handle, events.userData);
  }
  // The oldest bridge that was set aside while this one was held is offered
  // again, as if it had just been plugged in.
  if (session_) {
    for (const auto& [id, bridge] : bridges_) {
      if (declined_.erase(bridge->handle) != 0) {
        Announce(id);
        break;
      }
    }
  }
}

bool SimUsbLibrary::Matches(const SimBridge& bridge) const {
  if (!session_) {
    return false;
  }
  const DeviceInfo info = bridge.Info();
  const DeviceDescriptor& device = info.deviceDescriptor;
  const InterfaceDescriptor& interface = info.activeSetting.descriptor;
  return std::ranges::any_of(session_->matches, [&](const MatchEntry& entry) {
    return entry.vendorId == device.idVendor && entry.productId == device.idProduct &&
           FieldMatches(entry.deviceClass, device.bDeviceClass) &&
           FieldMatches(entry.deviceSubClass, device.bDeviceSubClass) &&
           FieldMatches(entry.interfaceClass, interface.bInterfaceClass) &&
           FieldMatches(entry.interfaceSubClass, interface.bInterfaceSubClass) &&
           FieldMatches(entry.interfaceProtocol, interface.bInterfaceProtocol);
  });
}

// --- The bench -------------------------------------------------------------

int SimUsbLibrary::Plug(std::uint16_t vendorId, std::uint16_t productId) {
  const int id = nextBridgeId_++;
  auto bridge = std::make_unique<SimBridge>();
  bridge->id = id;
  bridge->vendorId = vendorId;
  bridge->productId = productId;
  bridge->noEndpoints = noEndpoints_;
  bridge->chip.FollowRules(chipRules_);
  bridge->staleReply = std::exchange(replyAtNextPlug_, false);
  const bool matches = Matches(*bridge);
  bridges_.emplace(id, std::move(bridge));
  if (matches) {
    Announce(id);
  }
  return id;
}

void SimUsbLibrary::Unplug(int bridgeId) {
  const auto it = bridges_.find(bridgeId);
  if (it == bridges_.end()) {
    return;
  }
  const DeviceHandle handle = it->second->handle;
  bridges_.erase(it);
  declined_.erase(handle);
  // Whether the bridge was held is decided when the notification runs: an
  // attach still queued ahead of it may yet be accepted.
  if (session_ && handle != 0) {
    Post([this, handle] { RunDetach(handle); });
  }
}

std::vector<int> SimUsbLibrary::PluggedBridges() const {
  std::vector<int> ids;
  for (const auto& [id, bridge] : bridges_) {
    ids.push_back(id);
  }
  return ids;
}

std::optional<int> SimUsbLibrary::HeldBridge() const {
  for (const auto& [id, bridge] : bridges_) {
    if (bridge->handle != 0 && accepted_.contains(bridge->handle)) {
      return id;
    }
  }
  return std::nullopt;
}

DeviceHandle SimUsbLibrary::HandleOf(int bridgeId) const {
  const auto it = bridges_.find(bridgeId);
  return it == bridges_.end() ? 0 : it->second->handle;
}

VirtualBridge& SimUsbLibrary::Bridge(int bridgeId) {
  const auto it = bridges_.find(bridgeId);
  return it == bridges_.end() ? standingChip_ : it->second->chip;
}

VirtualBridge& SimUsbLibrary::Bridge() {
  SimBridge* first = FirstPlugged();
  return first != nullptr ? first->chip : standingChip_;
}

void SimUsbLibrary::FollowRules(const ChipRules& rules) {
  chipRules_ = rules;
  standingChip_.FollowRules(rules);
  for (auto& [id, bridge] : bridges_) bridge->chip.FollowRules(rules);
}

SimUsbLibrary::SimBridge* SimUsbLibrary::FirstPlugged() const {
  return bridges_.empty() ? nullptr : bridges_.begin()->second.get();
}

// --- Devices ---------------------------------------------------------------

SimUsbLibrary::SimBridge* SimUsbLibrary::FindByHandle(DeviceHandle device) {
  if (device == 0) {
    return nullptr;
  }
  for (auto& [id, bridge] : bridges_) {
    if (bridge->handle == device) {
      return bridge.get();
    }
  }
  return nullptr;
}

SimUsbLibrary::SimBridge* SimUsbLibrary::UsableBridge(DeviceHandle device, UsbStatus* status) {
  const bool issued = device >= kFirstDeviceHandle && device < nextDeviceHandle_;
  SimBridge* bridge = FindByHandle(device);
  if (bridge == nullptr || !(accepted_.contains(device) || attaching_ == device)) {
    *status = issued ? kStatusNoDevice : kStatusInvalidHandle;
    return nullptr;
  }
  *status = kStatusSuccess;
  return bridge;
}

}  // namespace regdiag::usb
