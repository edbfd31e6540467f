#include "backends/sim/sim_usb_library.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace regdiag::usb {

namespace {

constexpr std::uint32_t kOutPipe = 0x02;
constexpr std::uint32_t kInPipe = 0x82;
constexpr std::uint32_t kMaxPacketSize = 64;
constexpr std::uint8_t kBridgeInterfaceClass = 0xFF;  // vendor-specific
constexpr std::uint16_t kBridgeRelease = 0x0100;

bool FieldMatches(std::uint8_t wanted, std::uint8_t actual) { return wanted == 0 || wanted == actual; }

}  // namespace

struct SimUsbLibrary::SimBridge {
  int id = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool noEndpoints = false;
  DeviceHandle handle = 0;  // 0 until a session announces the bridge
  VirtualBridge chip;
  // Replies that came too late for the transfer that wanted them: the next
  // IN transfers take them first, oldest first.
  std::deque<std::vector<std::uint8_t>> lateReplies;

  [[nodiscard]] DeviceInfo Info() const {
    DeviceInfo info;
    info.deviceDescriptor.idVendor = vendorId;
    info.deviceDescriptor.idProduct = productId;
    info.deviceDescriptor.bcdDevice = kBridgeRelease;
    InterfaceDescriptor& setting = info.activeSetting.descriptor;
    setting.bInterfaceClass = kBridgeInterfaceClass;
    if (!noEndpoints) {
      info.activeSetting.pipes = {
          {kOutPipe, static_cast<std::uint32_t>(PipeType::Bulk), kMaxPacketSize, 0, 0},
          {kInPipe, static_cast<std::uint32_t>(PipeType::Bulk), kMaxPacketSize, 0, 1},
      };
    }
    setting.bNumEndpoints = static_cast<std::uint8_t>(info.activeSetting.pipes.size());
    return info;
  }
};

SimUsbLibrary::SimUsbLibrary() : generation_(std::make_shared<std::uint64_t>(0)) {}

// Queued notifications hold only a weak reference to the generation counter,
// so once it is gone they find nothing to call.
SimUsbLibrary::~SimUsbLibrary() = default;

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
  const DeviceInfo info = it->second->Info();
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

SimUsbLibrary::SimBridge* SimUsbLibrary::FirstPlugged() const {
  return bridges_.empty() ? nullptr : bridges_.begin()->second.get();
}

VirtualBridge& SimUsbLibrary::FaultTarget() {
  const std::optional<int> held = HeldBridge();
  return held ? Bridge(*held) : Bridge();
}

void SimUsbLibrary::FailNextInit(UsbStatus status, std::optional<std::string> text) {
  failNextInit_ = std::make_pair(status, std::move(text));
}

void SimUsbLibrary::ForceNextStatusByte(std::uint8_t status) { FaultTarget().ForceNextStatus(status); }

void SimUsbLibrary::ShortenNextReply(std::size_t bytes) { FaultTarget().ShortenNextReply(bytes); }

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

UsbStatus SimUsbLibrary::UsbSetInterface(DeviceHandle device, std::uint32_t interfaceNumber,
                                         std::uint32_t alternateSetting) {
  UsbStatus status = kStatusSuccess;
  if (UsableBridge(device, &status) == nullptr) {
    return status;
  }
  // The bridge has one interface with a single setting.
  return interfaceNumber == 0 && alternateSetting == 0 ? kStatusSuccess : kStatusInvalidParameter;
}

UsbStatus SimUsbLibrary::UsbGetDeviceInfo(DeviceHandle device, const DeviceInfo** info) {
  if (info == nullptr) {
    return kStatusInvalidParameter;
  }
  *info = nullptr;
  UsbStatus status = kStatusSuccess;
  SimBridge* bridge = UsableBridge(device, &status);
  if (bridge == nullptr) {
    return status;
  }
  if (failNextDeviceInfo_) {
    return *std::exchange(failNextDeviceInfo_, std::nullopt);
  }
  auto owned = std::make_unique<DeviceInfo>(bridge->Info());
  *info = owned.get();
  infos_.emplace(owned.get(), std::move(owned));
  outstandingInfo_ = static_cast<int>(infos_.size());
  return kStatusSuccess;
}

void SimUsbLibrary::UsbPutDeviceInfo(const DeviceInfo* info) {
  infos_.erase(info);  // a pointer we never handed out is ignored
  outstandingInfo_ = static_cast<int>(infos_.size());
}

UsbStatus SimUsbLibrary::UsbTransfer(DeviceHandle device, std::uint32_t pipe, std::uint32_t read,
                                     std::uint32_t /*options*/, std::uint8_t* buffer, std::int32_t length,
                                     std::uint32_t* bytesTransferred, const std::uint8_t* /*setupPacket*/,
                                     std::uint32_t timeoutMs, TransferWaiter* waiter) {
  ++transferCount_;
  transferPipe_ = pipe;
  if (nextTransferHook_) {
    std::exchange(nextTransferHook_, nullptr)();
  }
  std::uint32_t ignored = 0;
  std::uint32_t& moved = bytesTransferred != nullptr ? *bytesTransferred : ignored;
  moved = 0;

  UsbStatus status = kStatusSuccess;
  SimBridge* bridge = UsableBridge(device, &status);
  if (bridge == nullptr) {
    return status;
  }
  if (buffer == nullptr && length > 0) {
    return kStatusInvalidParameter;
  }
  // A read with no request before it drains the reply pipe, which the log
  // never shows: a fault armed for the next transfer waits for the next
  // exchange, the one a person at the panel means.
  const bool draining = read == 1 && !requestUnanswered_;
  if (failNextTransfer_ && !draining) {
    return *std::exchange(failNextTransfer_, std::nullopt);
  }
  if (!draining && std::exchange(hangNextTransfer_, false)) {
    return Hang(device, timeoutMs, waiter);
  }
  const bool known = (pipe == kOutPipe && read == 0) || (pipe == kInPipe && read == 1);
  if (bridge->noEndpoints || !known) {
    return kStatusPipeNotFound;
  }
  const std::int32_t size = std::max<std::int32_t>(length, 0);
  if (read == 0) {
    const std::span<const std::uint8_t> packet(buffer, static_cast<std::size_t>(size));
    if (const std::optional<UsbStatus> failure = ApplyStandingFault(*bridge, packet)) {
      return *failure;
    }
    bridge->chip.HandleRequest(packet);
    requestUnanswered_ = true;
    moved = static_cast<std::uint32_t>(size);
    return kStatusSuccess;
  }
  requestUnanswered_ = false;
  if (failNextReply_) {
    return *std::exchange(failNextReply_, std::nullopt);
  }
  return ReadReply(*bridge, buffer, size, &moved);
}

std::optional<UsbStatus> SimUsbLibrary::ApplyStandingFault(SimBridge& bridge, std::span<const std::uint8_t> packet) {
  constexpr std::size_t kAddressByte = 2;
  if (!standingFault_ || packet.size() <= kAddressByte ||
      (standingAddress_ && packet[kAddressByte] != *standingAddress_)) {
    return std::nullopt;
  }
  switch (*standingFault_) {
    case Fault::NoAck:
      bridge.chip.ForceNextStatus(VirtualBridge::kStatusNoAck);
      break;
    case Fault::I2cError:
      bridge.chip.ForceNextStatus(VirtualBridge::kStatusGeneralError);
      break;
    case Fault::TransferError:
      return kStatusIoError;
    case Fault::Timeout:
      failNextReply_ = kStatusTimeout;
      break;
    case Fault::StatusOnly:
      bridge.chip.ShortenNextReply(1);
      break;
    case Fault::Late:
      answerNextReadLate_ = true;
      break;
    case Fault::Unplug:
      Unplug(bridge.id);  // `bridge` is gone from here on
      return kStatusNoDevice;
  }
  return std::nullopt;
}

// A real bridge would keep the IN transfer waiting for the whole time-out
// when it has nothing to say; the simulation answers at once. A reply is one
// packet: the library reads it whole and hands back what was asked for.
UsbStatus SimUsbLibrary::ReadReply(SimBridge& bridge, std::uint8_t* buffer, std::int32_t length,
                                   std::uint32_t* bytesTransferred) {
  std::vector<std::uint8_t> reply;
  if (!bridge.lateReplies.empty()) {
    reply = std::move(bridge.lateReplies.front());
    bridge.lateReplies.pop_front();
  } else if (bridge.chip.HasReply()) {
    reply = bridge.chip.TakeReply();
    if (std::exchange(answerNextReadLate_, false)) {
      bridge.lateReplies.push_back(std::move(reply));
      return kStatusTimeout;
    }
  } else {
    return kStatusTimeout;
  }
  if (padReplies_) reply.resize(std::max<std::size_t>(reply.size(), kMaxPacketSize), 0);
  const std::size_t count = std::min(static_cast<std::size_t>(length), reply.size());
  if (count > 0) {
    std::memcpy(buffer, reply.data(), count);
  }
  *bytesTransferred = static_cast<std::uint32_t>(count);
  return kStatusSuccess;
}

UsbStatus SimUsbLibrary::Hang(DeviceHandle device, std::uint32_t timeoutMs, TransferWaiter* waiter) {
  if (waiter == nullptr) return kStatusTimeout;
  // Unplugging the bridge from the bench (a click on the control panel,
  // served while the waiter waits) ends the transfer as it would a real one.
  const auto gone = [this, device] { return FindByHandle(device) == nullptr; };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (!waiter->WaitUntil(gone, deadline)) return kStatusCancelled;
  return gone() ? kStatusNoDevice : kStatusTimeout;
}

std::string SimUsbLibrary::UsbStatusString(UsbStatus status) const {
  const auto it = statusTexts_.find(status);
  return it != statusTexts_.end() ? it->second : StatusDescription(status);
}

}  // namespace regdiag::usb
