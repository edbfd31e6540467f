// Moving bytes to and from the held bridge's pipes.
#include <algorithm>
#include <array>
#include <chrono>
#include <iterator>
#include <vector>

#include "core/link/bridge_session.h"
#include "core/text/link_log_text.h"
#include "core/text/session_log_text.h"

namespace regdiag {

namespace {
// A drain reads whole packets, waiting this long for each, and gives up
// after this many: a bridge that never stops talking must not hold the
// program. The same limit bounds the zero-length packets a follow-up read
// passes over.
constexpr std::uint32_t kDrainWaitMs = 10;
constexpr int kDrainPacketLimit = 64;
constexpr std::size_t kDrainPacketSize = 64;

using Clock = std::chrono::steady_clock;

// Whole milliseconds from now until `deadline`, 0 once it has passed.
std::uint32_t MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}
}  // namespace

bool BridgeSession::WritePipe(std::uint32_t pipe, std::span<const std::uint8_t> request) {
  // The library takes a writable buffer for either direction; a write only
  // reads from it.
  std::vector<std::uint8_t> bytes(request.begin(), request.end());
  return RunPipe(pipe, false, bytes.data(), static_cast<std::int32_t>(bytes.size()), usb::kTransferTimeoutMs)
      .has_value();
}

std::optional<std::uint32_t> BridgeSession::ReadPipe(std::uint32_t pipe, std::span<std::uint8_t> reply,
                                                     std::int32_t length) {
  // A reply buffer shorter than the length asked for is never handed to the
  // library.
  if (length > 0 && reply.size() < static_cast<std::size_t>(length)) length = static_cast<std::int32_t>(reply.size());
  // A zero-length packet is never a reply (some firmware ends a full-size
  // packet with one): the read goes on for what is left of the time-out.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(usb::kTransferTimeoutMs);
  std::uint32_t waitMs = usb::kTransferTimeoutMs;
  for (;;) {
    const std::optional<std::uint32_t> moved = RunPipe(pipe, true, reply.data(), length, waitMs);
    if (!moved || *moved > 0 || length <= 0) return moved;
    waitMs = MsLeft(deadline);
    if (waitMs == 0) {
      // Nothing but empty packets for the whole time-out: no reply came.
      lastStatus_ = usb::kStatusTimeout;
      LogLine(logtext::TransferFailed(logtext::PipeDirection::Read, lastStatus_, StatusText(lastStatus_)));
      LogLine(logtext::PipeFailed(logtext::PipeDirection::Read));
      return std::nullopt;
    }
  }
}

std::optional<std::uint32_t> BridgeSession::RunPipe(std::uint32_t pipe, bool read, std::uint8_t* buffer,
                                                    std::int32_t length, std::uint32_t timeoutMs) {
  const auto dir = read ? logtext::PipeDirection::Read : logtext::PipeDirection::Write;
  if (ending_) return std::nullopt;  // the session has ended: nothing more goes out

  const usb::DeviceInfo* info = nullptr;
  lastStatus_ = library_.UsbGetDeviceInfo(context_.deviceHandle, &info);
  if (lastStatus_ != 0 || info == nullptr) {
    LogText(logtext::DeviceInfoFailed(dir, lastStatus_, StatusText(lastStatus_)), kCrLf);
    return std::nullopt;
  }
  const bool hasPipes = SetPipesInfo(info->activeSetting);
  library_.UsbPutDeviceInfo(info);
  if (!hasPipes) {
    LogLine(logtext::PipeFailed(dir));
    return std::nullopt;
  }

  std::uint32_t moved = 0;
  lastStatus_ = LibraryTransfer(pipe, read, length > 0 ? buffer : nullptr, length, &moved, timeoutMs);
  if (lastStatus_ != 0) {
    if (lastStatus_ == usb::kStatusCancelled && waiter_.Cancelled()) return std::nullopt;  // the owner stopped it
    LogLine(logtext::TransferFailed(dir, lastStatus_, StatusText(lastStatus_)));
    LogLine(logtext::PipeFailed(dir));
    return std::nullopt;
  }
  return moved;
}

usb::UsbStatus BridgeSession::LibraryTransfer(std::uint32_t pipe, bool read, std::uint8_t* buffer,
                                              std::int32_t length, std::uint32_t* moved,
                                              std::uint32_t timeoutMs) {
  usb::UsbStatus status = 0;
  {
    // No attach or detach is handled in the middle of a transfer; they run
    // once it is over, in the order they came.
    const NotificationQueue::Hold hold(queue_);
    ++inFlight_;
    status = library_.UsbTransfer(context_.deviceHandle, pipe, read ? 1 : 0, 0, buffer, length, moved, nullptr,
                                  timeoutMs, &waiter_);
    --inFlight_;
  }
  if (ending_ && inFlight_ == 0) Uninit();
  return status;
}

bool BridgeSession::SetPipesInfo(const usb::AlternateSetting& setting) {
  // The pipes of a transfer are fixed; the setting only has to show that the
  // bridge has any besides the default one.
  if (setting.descriptor.bNumEndpoints == 0) {
    LogLine(logtext::NoPipes());
    return false;
  }
  return true;
}

int BridgeSession::DrainPipe(std::uint32_t pipe) {
  std::array<std::uint8_t, kDrainPacketSize> scratch{};
  int found = 0;
  for (int packet = 0; packet < kDrainPacketLimit; ++packet) {
    if (!Connected() || ending_ || waiter_.Cancelled()) break;
    std::uint32_t moved = 0;
    const usb::UsbStatus status = LibraryTransfer(
        pipe, true, scratch.data(), static_cast<std::int32_t>(scratch.size()), &moved, kDrainWaitMs);
    if (status != 0) break;  // nothing came within the wait: the pipe is empty
    if (moved > 0) ++found;
  }
  return found;
}

bool BridgeSession::PacketFollows(std::uint32_t pipe, std::uint32_t waitMs) {
  std::array<std::uint8_t, kDrainPacketSize> scratch{};
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (int packet = 0; packet < kDrainPacketLimit; ++packet) {
    if (!Connected() || ending_ || waiter_.Cancelled()) return false;
    std::uint32_t moved = 0;
    const usb::UsbStatus status = LibraryTransfer(pipe, true, scratch.data(),
                                                  static_cast<std::int32_t>(scratch.size()), &moved, waitMs);
    if (status != 0) return false;  // the usual case: nothing more came
    if (moved > 0) return true;
    // A zero-length packet says nothing: wait on for what is left.
    waitMs = MsLeft(deadline);
    if (waitMs == 0) return false;
  }
  return false;
}

}  // namespace regdiag
