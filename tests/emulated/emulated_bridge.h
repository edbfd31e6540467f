// Bridges on an emulated USB bus: a umockdev test bed holding, for each
// plugged bridge, the device as sysfs shows it (descriptors, bus and device
// numbers, speed) and its usbdevfs node, whose calls a UsbdevfsHandler
// answers. libusb finds, opens and talks to them as to real ones.
//
// The program must run with umockdev's preload library (umockdev-wrapper),
// and the bed must exist before libusb starts. One bed at a time.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usbdevfs_handler.h"

namespace regdiag::test {

// How a plugged bridge differs from a sound one.
struct BridgeShape {
  // Interface 0 has its bulk OUT 0x02 and IN 0x82; without, no endpoints.
  bool endpoints = true;
  // The node opens; without, opening it fails with EACCES, even for root
  // (see UnopenableProblem). Each failed open costs umockdev's preload (0.17)
  // one of its 50 descriptor slots for the rest of the program, so a test
  // keeps the backend's attempts few (LibusbOptions::reopenPeriodMs).
  bool openable = true;
};

// The bytes of the sysfs "descriptors" attribute: device descriptor, then
// the configuration with interface 0 and its endpoints.
[[nodiscard]] std::vector<std::uint8_t> BridgeDescriptors(bool endpoints);

class EmulatedUsb {
 public:
  EmulatedUsb();
  ~EmulatedUsb();
  EmulatedUsb(const EmulatedUsb&) = delete;
  EmulatedUsb& operator=(const EmulatedUsb&) = delete;

  // True when umockdev's preload library is in the process.
  [[nodiscard]] static bool InMockEnvironment();
  // Why this system cannot make a node refuse to open for lack of
  // permission; empty when it can.
  [[nodiscard]] static std::string UnopenableProblem();

  // Plugs a bridge into bus 1 under the next free device number; returns
  // its index for the calls below.
  int Plug(BridgeShape shape = {});
  // Unplugs it: the device fails every call with ENODEV from now on, the
  // remove event goes out and the device leaves sysfs.
  void Unplug(int bridge);
  // An unopenable bridge's node becomes openable, as when its permissions
  // are mended, while the bridge stays plugged in. No event goes out.
  void MakeOpenable(int bridge);

  [[nodiscard]] UsbdevfsHandler& Device(int bridge) {
    return *bridges_.at(static_cast<std::size_t>(bridge)).handler;
  }
  [[nodiscard]] std::uint8_t DeviceNumber(int bridge) const {
    return bridges_.at(static_cast<std::size_t>(bridge)).deviceNumber;
  }

 private:
  struct Plugged {
    std::string syspath;
    std::string node;  // /dev/bus/usb/...
    std::unique_ptr<UsbdevfsHandler> handler;
    std::uint8_t deviceNumber = 0;
    bool present = false;
  };

  // The node's file in the bed: one the handler answers for, or a way
  // into EACCES.
  void MakeNode(const Plugged& bridge, bool openable);

  UMockdevTestbed* testbed_ = nullptr;
  std::vector<Plugged> bridges_;
  std::uint8_t nextDeviceNumber_ = 2;  // 1 is the root hub's
};

}  // namespace regdiag::test
