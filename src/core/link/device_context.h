// The record the USB library hands back to the attach and detach handlers.
#pragma once

#include <cstdint>

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

}  // namespace regdiag
