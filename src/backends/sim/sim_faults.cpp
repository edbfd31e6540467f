// Faults of the simulated bridge: armed for the next call or transfer, or
// standing for every exchange (or one register's).
#include <chrono>
#include <utility>

#include "backends/sim/sim_bridge.h"

namespace regdiag::usb {

VirtualBridge& SimUsbLibrary::FaultTarget() {
  const std::optional<int> held = HeldBridge();
  return held ? Bridge(*held) : Bridge();
}

void SimUsbLibrary::FailNextInit(UsbStatus status, std::optional<std::string> text) {
  failNextInit_ = std::make_pair(status, std::move(text));
}

void SimUsbLibrary::ForceNextStatusByte(std::uint8_t status) { FaultTarget().ForceNextStatus(status); }

void SimUsbLibrary::ShortenNextReply(std::size_t bytes) { FaultTarget().ShortenNextReply(bytes); }

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

UsbStatus SimUsbLibrary::Hang(DeviceHandle device, std::uint32_t timeoutMs, TransferWaiter* waiter) {
  if (waiter == nullptr) return kStatusTimeout;
  // Unplugging the bridge from the bench (a click on the control panel,
  // served while the waiter waits) ends the transfer as it would a real one.
  const auto gone = [this, device] { return FindByHandle(device) == nullptr; };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (!waiter->WaitUntil(gone, deadline)) return kStatusCancelled;
  return gone() ? kStatusNoDevice : kStatusTimeout;
}

}  // namespace regdiag::usb
