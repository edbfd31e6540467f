// Moving bytes to and from the held bridge's pipes.
#include <algorithm>
#include <iterator>

#include "link/diag_lib/link_log_text.h"
#include "link/diag_lib/session_log_text.h"
#include "window/diag_window.h"

namespace regdiag {

bool DiagWindow::WritePipe() { return RunPipe(false); }

bool DiagWindow::ReadPipe() { return RunPipe(true); }

bool DiagWindow::RunPipe(bool read) {
  const auto dir = read ? logtext::PipeDirection::Read : logtext::PipeDirection::Write;
  Transfer.BytesTransferred = 0;
  if (unloaded_) return false;  // the session has ended: nothing more goes out

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
  LastStatus =
      library_.UsbTransfer(Context.deviceHandle, Transfer.PipeNumber, read ? 1 : 0, 0, buffer, length,
                           &Transfer.BytesTransferred, nullptr, usb::kTransferTimeoutMs, nullptr);
  if (LastStatus != 0) {
    LogLine(logtext::TransferFailed(dir, LastStatus, StatusText(LastStatus)));
    LogLine(logtext::PipeFailed(dir));
    return false;
  }
  return true;
}

bool DiagWindow::SetPipesInfo(const usb::AlternateSetting& setting, std::vector<usb::PipeRecord>& pipeTable) {
  const int count = setting.descriptor.bNumEndpoints;
  if (count == 0) {
    LogLine(logtext::NoPipes());
    return false;
  }
  const auto records = std::min<std::ptrdiff_t>(count, std::ssize(setting.pipes));
  pipeTable.assign(setting.pipes.begin(), setting.pipes.begin() + records);
  return true;
}

}  // namespace regdiag
