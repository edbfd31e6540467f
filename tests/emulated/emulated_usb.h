// Bridges on an emulated USB bus below libusb: a umockdev test bed holds the
// device as sysfs and udev show it and its usbdevfs node, whose calls are
// answered here as strictly as the kernel answers them. Only interface 0,
// its alternate setting 0 and its bulk endpoints 0x02 and 0x82 exist. An OUT
// URB goes to the bridge at once, its reply into the IN pipe as one packet.
// An IN URB takes packets until a short one (under 64 bytes) or a full
// buffer ends it, and waits until then or until it is discarded; a packet
// larger than the room left overflows it.
//
// The program runs under umockdev-wrapper; one bed at a time, made before
// libusb starts. Threads: the usbdevfs calls come on umockdev's worker
// thread; the test thread reaches a bridge only through With, under the
// lock those calls are answered under.
#pragma once

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backends/sim/virtual_bridge.h"

namespace regdiag::test {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename Object>
using GPtr = std::unique_ptr<Object, Unref>;

// Ways a bridge on a desk misbehaves, each for the next exchange only.
enum class Fault {
  Stall,       // the IN endpoint halts: every IN URB stalls until the halt is cleared
  Hang,        // the reply never comes
  Late,        // the reply comes once the IN URB that waited for it has been discarded
  Pad,         // the reply is padded with zeros to a full packet
  StatusOnly,  // the reply is its status byte alone
  NoAck,       // the reply is the no-acknowledge status byte alone
  Busy,        // another program holds interface 0: claiming it fails with EBUSY
  Waiting,     // a reply nobody asked for is in the IN pipe when interface 0 is claimed
  Split,       // the reply comes as two packets: the status byte, then the rest
  AfterDrain,  // the reply comes with the next request, ahead of its reply: after any drain
  ZeroLength,  // the reply is padded to a full packet, and a zero-length packet follows it
};

// One bridge plugged in, as its usbdevfs node holds it.
struct Bridge {
  struct Urb {
    GPtr<UMockdevIoctlClient> client;
    GPtr<UMockdevIoctlData> urb;     // the usbdevfs_urb
    GPtr<UMockdevIoctlData> buffer;  // its data
    int filled = 0;                  // bytes placed in it so far
  };

  usb::VirtualBridge chip;
  std::set<Fault> faults;
  std::map<unsigned long, int> calls;  // usbdevfs requests (USBDEVFS_...) seen, by code
  std::string node;                    // /dev/bus/usb/001/...
  std::string syspath;
  std::set<unsigned int> endpoints;               // of interface 0
  bool halted = false;                            // the IN endpoint
  bool gone = false;                              // unplugged
  std::deque<std::vector<std::uint8_t>> pipe;     // IN packets sent, not yet read
  std::optional<std::vector<std::uint8_t>> late;  // a reply held back (Fault::Late)
  std::optional<std::vector<std::uint8_t>> held;  // held back longer (Fault::AfterDrain)
  std::deque<Urb> waiting;                        // bulk IN URBs not yet ended
  std::deque<Urb> done;                           // ended, not yet reaped
};

class EmulatedUsb {
 public:
  EmulatedUsb();

  // Plugs a bridge into bus 1 as device 2, 3, ...; returns its index. An
  // unopenable node fails with EACCES, even for root; each failed open costs
  // umockdev's preload one of its 50 descriptor slots for good.
  int Plug(bool endpoints = true, bool openable = true);
  // The remove event goes out and the device leaves sysfs.
  void Unplug(int bridge);
  // The node opens from now on, as when the permissions of a bridge still
  // plugged in are mended. No event goes out.
  void MakeOpenable(int bridge) { MakeNode(bridges_.at(static_cast<std::size_t>(bridge)), true); }

  template <typename Visit>
  auto With(int bridge, Visit&& visit) {
    std::lock_guard lock(mutex_);
    return visit(bridges_.at(static_cast<std::size_t>(bridge)));
  }

 private:
  void MakeNode(const Bridge& bridge, bool openable);

  // The bed goes first: its worker thread serves the bridges.
  std::deque<Bridge> bridges_;
  std::mutex mutex_;
  GPtr<UMockdevIoctlBase> handler_{umockdev_ioctl_base_new()};  // answers for every node
  GPtr<UMockdevTestbed> testbed_{umockdev_testbed_new()};
};

}  // namespace regdiag::test
