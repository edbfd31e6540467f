// Moving bytes to and from the held bridge's pipes.
#include <algorithm>
#include <array>
#include <chrono>
#include <iterator>

#include "core/link/bridge_session.h"
#include "core/text/link_log_text.h"
#include "core/text/session_log_text.h"

namespace regdiag {

namespace {
// A drain reads whole packets, waiting this long for each, and gives up
// after this many: a bridge that never stops talking must not hold the
// program.
constexpr std::uint32_t kDrainWaitMs = 10;
constexpr int kDrainPacketLimit = 64;
constexpr std::size_t kDrainPacketSize = 64;
}  // namespace

bool BridgeSession::WritePipe() { return RunPipe(false); }

bool BridgeSession::ReadPipe() { return RunPipe(true); }

bool BridgeSession::RunPipe(bool read) {
  const auto dir = read ? logtext::PipeDirection::Read : logtext::PipeDirection::Write;
  Transfer.BytesTransferred = 0;
  if (ending_) return false;  // the session has ended: nothing more goes out

  const usb::DeviceInfo* info = nullptr;
  LastStatus = library_.UsbGetDeviceInfo(Context.deviceHandle, &info);
  if (LastStatus != 0 || info == nullptr) {
    LogText(logtext::DeviceInfoFailed(dir, LastStatus, StatusText(LastStatus)), kCrLf);
    return false;
  }
  TransferSetting = info->activeSetting;
  library_.UsbPutDeviceInfo(info);
  if (!SetPipesInfo(TransferSetting, PipeTable)) {
    LogLine(logtext::PipeFailed(dir));
    return false;
  }

  // The buffer must hold what the length asks for; a shorter one is never
  // handed to the library.
  const std::int32_t length = Transfer.TransferLength;
  if (length > 0 && Transfer.TransferData.size() < static_cast<std::size_t>(length)) {
    Transfer.TransferData.resize(static_cast<std::size_t>(length), 0);
  }
  std::uint8_t* buffer = length > 0 ? Transfer.TransferData.data() : nullptr;
  LastStatus = LibraryTransfer(Transfer.PipeNumber, read, buffer, length, &Transfer.BytesTransferred,
                               usb::kTransferTimeoutMs);
  if (LastStatus != 0) {
    if (LastStatus == usb::kStatusCancelled && waiter_.Cancelled()) return false;  // the owner stopped it
    LogLine(logtext::TransferFailed(dir, LastStatus, StatusText(LastStatus)));
    LogLine(logtext::PipeFailed(dir));
    return false;
  }
  return true;
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
    status = library_.UsbTransfer(Context.deviceHandle, pipe, read ? 1 : 0, 0, buffer, length, moved, nullptr,
                                  timeoutMs, &waiter_);
    --inFlight_;
  }
  if (ending_ && inFlight_ == 0) Uninit();
  return status;
}

bool BridgeSession::SetPipesInfo(const usb::AlternateSetting& setting,
                                 std::vector<usb::PipeRecord>& pipeTable) {
  const int count = setting.descriptor.bNumEndpoints;
  if (count == 0) {
    LogLine(logtext::NoPipes());
    return false;
  }
  const auto records = std::min<std::ptrdiff_t>(count, std::ssize(setting.pipes));
  pipeTable.assign(setting.pipes.begin(), setting.pipes.begin() + records);
  return true;
}

void BridgeSession::DrainPipe(std::uint32_t pipe) {
  std::array<std::uint8_t, kDrainPacketSize> scratch{};
  for (int packet = 0; packet < kDrainPacketLimit; ++packet) {
    if (!Connected() || ending_ || waiter_.Cancelled()) return;
    std::uint32_t moved = 0;
    const usb::UsbStatus status = LibraryTransfer(
        pipe, true, scratch.data(), static_cast<std::int32_t>(scratch.size()), &moved, kDrainWaitMs);
    if (status != 0) return;  // nothing came within the wait: the pipe is empty
  }
}

}  // namespace regdiag
