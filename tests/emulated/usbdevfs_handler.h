// The bridge as libusb meets it through the kernel: the usbdevfs calls on its
// device node, answered by a VirtualBridge, as strictly as the kernel answers
// them. Bulk OUT requests go to the bridge at once and its reply goes into
// the IN pipe as one packet; a bulk IN URB takes packets from the pipe until
// a short packet (under 64 bytes) or a full buffer ends it, and waits until
// then (or until it is discarded). A packet larger than the room left in the
// URB overflows it.
//
// Threads: the calls arrive on umockdev's worker thread; the test thread
// sets faults and looks at the bridge and the record. One mutex guards both.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "link/usb_lib/virtual_bridge.h"

namespace regdiag::test {

// What the device has seen, for checks.
struct UsbdevfsRecord {
  int claims = 0;                                   // CLAIMINTERFACE of interface 0
  int releases = 0;                                 // RELEASEINTERFACE of interface 0
  std::vector<std::uint8_t> clearedHalts;           // endpoints, in order
  std::vector<std::vector<std::uint8_t>> requests;  // bulk OUT packets, in order
  int discarded = 0;                                // URBs cancelled by DISCARDURB
};

// Ways a bridge on a desk misbehaves, each for the next exchange only.
enum class Fault {
  // The IN endpoint halts at the next IN URB: that one and every one after
  // it end with a stall (-EPIPE) and move no data, until the halt is cleared.
  Stall,
  // The reply never comes: the IN URB waits until it is discarded.
  Hang,
  // The reply is held back while an IN URB waits for it; once that URB has
  // been discarded (timed out) it goes into the pipe for the next one.
  Late,
  // The reply is padded with zeros to a full 64-byte packet.
  Pad,
  // The reply is the no-acknowledge status byte 0x40 alone.
  StatusOnly,
};

class UsbdevfsHandler {
 public:
  // `endpoints`: interface 0 has its bulk OUT 0x02 and IN 0x82, else none.
  explicit UsbdevfsHandler(bool endpoints);
  ~UsbdevfsHandler();
  UsbdevfsHandler(const UsbdevfsHandler&) = delete;
  UsbdevfsHandler& operator=(const UsbdevfsHandler&) = delete;

  // The object to attach to the device node.
  [[nodiscard]] UMockdevIoctlBase* Base() const { return base_; }

  // --- Test thread ----------------------------------------------------------
  // Runs visit(VirtualBridge&) under the lock.
  template <typename Visit>
  auto WithBridge(Visit&& visit) {
    std::lock_guard lock(mutex_);
    return visit(bridge_);
  }
  [[nodiscard]] UsbdevfsRecord Record();
  void InjectNext(Fault fault);
  // The device has left: URBs in flight end with -ESHUTDOWN, completed ones
  // can still be reaped, every other call fails with ENODEV.
  void Unplugged();

 private:
  struct Urb {
    UMockdevIoctlClient* client = nullptr;  // a reference of ours
    UMockdevIoctlData* urb = nullptr;       // the usbdevfs_urb, ours
    UMockdevIoctlData* buffer = nullptr;    // its data, ours; null when empty
    int filled = 0;                         // bytes placed in it so far
  };

  static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);

  // Worker thread, lock held.
  void Serve(UMockdevIoctlClient* client, unsigned long request);
  void SetInterface(UMockdevIoctlClient* client);
  void Submit(UMockdevIoctlClient* client);
  void Reply(std::vector<std::uint8_t> request);
  void Discard(UMockdevIoctlClient* client);
  void AnswerWaitingIns();
  void Finish(Urb urb, int status);
  [[nodiscard]] bool Has(unsigned int endpoint) const;
  [[nodiscard]] bool HandOut(UMockdevIoctlClient* client);
  static void Release(Urb& urb);

  UMockdevIoctlBase* base_ = nullptr;
  const bool endpoints_;
  std::mutex mutex_;
  usb::VirtualBridge bridge_;
  UsbdevfsRecord record_;
  std::set<Fault> faults_;
  bool inHalted_ = false;
  bool gone_ = false;
  std::deque<std::vector<std::uint8_t>> pipe_;     // IN packets sent, not yet read
  std::optional<std::vector<std::uint8_t>> late_;  // a reply held back (Fault::Late)
  std::deque<Urb> waitingIn_;                      // bulk IN URBs not yet ended
  std::deque<Urb> done_;                           // completed, not yet reaped
};

}  // namespace regdiag::test
