// The records of the driver session and of the pipe transfers.
#pragma once

#include <cstdint>
#include <vector>

#include "core/usb/usb_lib.h"

namespace regdiag {

// The user data the library hands back to the attach and detach handlers.
struct DeviceContext {
  std::uint32_t interfaceNumber = 0;
  // While 0, no interface is selected on an accepted device.
  std::uint32_t alternateSetting = 0;
  // The device whose control the program holds; 0 when it holds none.
  usb::DeviceHandle deviceHandle = 0;
  std::uint32_t interfaceSelectionStatus = 0;
};

// Filled by the caller before WritePipe or ReadPipe.
struct TransferBuffer {
  std::uint32_t PipeNumber = 0;
  std::int32_t TransferLength = 0;
  std::vector<std::uint8_t> TransferData;
  std::uint32_t BytesTransferred = 0;
};

// True while an attached bridge is held. Written only by the attach and
// detach handlers; false at program start.
inline bool DeviceConnected = false;

}  // namespace regdiag
