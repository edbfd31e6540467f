// The simulated library's operations on a device: information, interface
// selection and transfers, answered by the bridge's virtual chip.
#include <algorithm>
#include <cstring>
#include <utility>

#include "backends/sim/sim_bridge.h"

namespace regdiag::usb {

SimUsbLibrary::SimUsbLibrary() : generation_(std::make_shared<std::uint64_t>(0)) {}

// Queued notifications hold only a weak reference to the generation counter,
// so once it is gone they find nothing to call.
SimUsbLibrary::~SimUsbLibrary() = default;

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
  if (read == 0 && buffer != nullptr && length > 0) {
    transferBytes_.assign(buffer, buffer + length);
  } else {
    transferBytes_.clear();
  }
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
  const bool known = (pipe == kSimOutPipe && read == 0) || (pipe == kSimInPipe && read == 1);
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
  // A late reply stays in the bridge, ahead of anything newer.
  if (!draining && bridge->chip.HasReply() && std::exchange(answerNextReadLate_, false)) {
    return kStatusTimeout;
  }
  const UsbStatus replied = ReadReply(*bridge, buffer, size, &moved);
  return replied == kStatusTimeout ? NothingToRead(device, timeoutMs, waiter) : replied;
}

// A reply is one packet: the library reads it whole and hands back what was
// asked for. The pipe's own packets come before the chip's replies.
UsbStatus SimUsbLibrary::ReadReply(SimBridge& bridge, std::uint8_t* buffer, std::int32_t length,
                                   std::uint32_t* bytesTransferred) {
  std::vector<std::uint8_t> packet;
  if (!bridge.pipe.empty()) {
    packet = std::move(bridge.pipe.front());
    bridge.pipe.pop_front();
  } else if (bridge.chip.HasReply()) {
    packet = bridge.chip.TakeReply();
  } else {
    return kStatusTimeout;
  }
  if (padReplies_ && !packet.empty()) {
    packet.resize(std::max<std::size_t>(packet.size(), kSimMaxPacketSize), 0);
    if (zeroLengthPackets_) bridge.pipe.push_front({});
  }
  const std::size_t count = std::min(static_cast<std::size_t>(length), packet.size());
  if (count > 0) {
    std::memcpy(buffer, packet.data(), count);
  }
  *bytesTransferred = static_cast<std::uint32_t>(count);
  return kStatusSuccess;
}

// A real bridge keeps the IN transfer waiting for the whole time-out when it
// has nothing to say; the simulation answers at once unless told to wait.
UsbStatus SimUsbLibrary::NothingToRead(DeviceHandle device, std::uint32_t timeoutMs, TransferWaiter* waiter) {
  return emptyReadsWait_ ? Hang(device, timeoutMs, waiter) : kStatusTimeout;
}

std::string SimUsbLibrary::UsbStatusString(UsbStatus status) const {
  const auto it = statusTexts_.find(status);
  return it != statusTexts_.end() ? it->second : StatusDescription(status);
}

}  // namespace regdiag::usb
