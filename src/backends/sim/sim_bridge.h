// A bridge on the simulated bench: its IDs, the handle a session gave it,
// its virtual chip, and the packets in its IN pipe ahead of the chip's
// replies. Private to the simulated library's files.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "backends/sim/sim_usb_library.h"

namespace regdiag::usb {

inline constexpr std::uint32_t kSimOutPipe = 0x02;
inline constexpr std::uint32_t kSimInPipe = 0x82;
inline constexpr std::uint32_t kSimMaxPacketSize = 64;

struct SimUsbLibrary::SimBridge {
  int id = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool noEndpoints = false;
  DeviceHandle handle = 0;  // 0 until a session announces the bridge
  VirtualBridge chip;
  // Packets the next IN transfers take before any reply of the chip, oldest
  // first: a reply left from before the bridge was claimed, the zero-length
  // packet after a full one.
  std::deque<std::vector<std::uint8_t>> pipe;
  // A reply nobody asked for goes into the pipe before the bridge is
  // first offered to a session.
  bool staleReply = false;

  static constexpr std::uint8_t kInterfaceClass = 0xFF;  // vendor-specific
  static constexpr std::uint16_t kRelease = 0x0100;

  [[nodiscard]] DeviceInfo Info() const {
    DeviceInfo info;
    info.deviceDescriptor.idVendor = vendorId;
    info.deviceDescriptor.idProduct = productId;
    info.deviceDescriptor.bcdDevice = kRelease;
    InterfaceDescriptor& setting = info.activeSetting.descriptor;
    setting.bInterfaceClass = kInterfaceClass;
    if (!noEndpoints) {
      info.activeSetting.pipes = {
          {kSimOutPipe, static_cast<std::uint32_t>(PipeType::Bulk), kSimMaxPacketSize, 0, 0},
          {kSimInPipe, static_cast<std::uint32_t>(PipeType::Bulk), kSimMaxPacketSize, 0, 1},
      };
    }
    setting.bNumEndpoints = static_cast<std::uint8_t>(info.activeSetting.pipes.size());
    return info;
  }
};

}  // namespace regdiag::usb
