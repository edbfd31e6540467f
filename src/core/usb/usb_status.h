// Status codes of the USB library: 32-bit, 0 for success.
#pragma once

#include <cstdint>
#include <string>

namespace regdiag::usb {

using UsbStatus = std::uint32_t;

enum : UsbStatus {
  kStatusSuccess = 0,
  kStatusInvalidHandle = 0x20000001,
  kStatusInvalidParameter = 0x20000002,
  kStatusNoDevice = 0x20000003,        // the device has gone away
  kStatusNotOpen = 0x20000004,         // the device is not open
  kStatusAccessDenied = 0x20000005,    // no permission to open the device
  kStatusBusy = 0x20000006,            // another program holds the interface
  kStatusTimeout = 0x20000007,
  kStatusStall = 0x20000008,           // the endpoint stalled
  kStatusOverflow = 0x20000009,        // the device sent more than asked for
  kStatusPipeNotFound = 0x2000000A,
  kStatusIoError = 0x2000000B,
  kStatusNoMemory = 0x2000000C,
  kStatusNotSupported = 0x2000000D,
  kStatusAlreadyInitialized = 0x2000000E,
  kStatusNotInitialized = 0x2000000F,
  kStatusCancelled = 0x20000010,
  // The device is there, but not the interface or alternate setting asked for.
  kStatusNoSuchInterface = 0x20000011,
  kStatusInternalError = 0x200000FF,
};

// Our text for each status; an unknown code gets a generic text.
[[nodiscard]] std::string StatusDescription(UsbStatus status);

}  // namespace regdiag::usb
