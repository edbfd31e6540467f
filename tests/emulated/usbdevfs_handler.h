// The bridge as libusb meets it through the kernel: the usbdevfs calls on its
// device node, answered by a VirtualBridge. Bulk OUT requests go to the
// bridge at once; a bulk IN URB completes when the bridge has a reply for
// it, and waits until then (or until it is discarded).
//
// Threads: the calls arrive on umockdev's worker thread; the test thread
// sets faults and looks at the bridge and the record. One mutex guards both.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <mutex>
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

class UsbdevfsHandler {
 public:
  UsbdevfsHandler();
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
  // The IN endpoint halts at the next bulk IN URB: that one and every one
  // after it end with a stall (-EPIPE) and move no data, until the halt is
  // cleared.
  void StallNextReply();
  // The bridge keeps quiet about the next request: the IN URB that follows
  // waits until it is discarded.
  void SwallowNextRequest();
  // The device has left: every call fails with ENODEV from now on.
  void Unplugged();

 private:
  struct Urb {
    UMockdevIoctlClient* client = nullptr;  // a reference of ours
    UMockdevIoctlData* urb = nullptr;       // the usbdevfs_urb, ours
    UMockdevIoctlData* buffer = nullptr;    // its data, ours; null when empty
  };

  static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);

  // Worker thread, lock held.
  void Serve(UMockdevIoctlClient* client, unsigned long request);
  void Submit(UMockdevIoctlClient* client);
  void Discard(UMockdevIoctlClient* client);
  void Reap(UMockdevIoctlClient* client, bool wait);
  void AnswerWaitingIns();
  void Finish(Urb urb, int status, const std::vector<std::uint8_t>& data);
  [[nodiscard]] bool HandOut(UMockdevIoctlClient* client);
  static void Release(Urb& urb);

  UMockdevIoctlBase* base_ = nullptr;
  std::mutex mutex_;
  usb::VirtualBridge bridge_;
  UsbdevfsRecord record_;
  bool stallNextReply_ = false;
  bool inHalted_ = false;
  bool swallowNextRequest_ = false;
  bool gone_ = false;
  std::deque<Urb> waitingIn_;                         // bulk IN URBs without a reply yet
  std::deque<Urb> done_;                              // completed, not yet reaped
  std::vector<UMockdevIoctlClient*> blockedReapers_;  // in a REAPURB that waits, ours
};

}  // namespace regdiag::test
