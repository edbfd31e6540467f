// The libusb-1.0 backend: real bridges, with hot-plug.
//
// Threads: libusb's events are handled on a thread of this backend, which
// never sleeps on anything but those events. Its hot-plug callback only
// queues the event; the same thread, outside the callback, opens an arriving
// device (trying again later while it refuses) and hands attach and detach to
// the window thread through the Dispatcher. A device the attach handler
// declines is closed and kept aside; it is offered again when the held one
// leaves. Claiming the interface and submitting transfers happen on the
// window thread; transfers end on the event thread, which wakes the waiter.
// Where libusb offers no hot-plug, the thread enumerates periodically
// instead.
#pragma once

#include <cstdint>
#include <memory>

#include "core/usb/usb_lib.h"

namespace regdiag::usb {

// Knobs for tests; the program uses the defaults.
struct LibusbOptions {
  // Caps every transfer time-out when non-zero (tests of a time-out): the
  // short waits of a drain stay as they are.
  std::uint32_t transferTimeoutCapMs = 0;
  // How long an arriving device may refuse to open before we say so (lack
  // of permission) or give up (anything else).
  std::uint32_t openRetryWindowMs = 1000;
  // The longest pause between attempts to open a device that refuses; after
  // the window above, how often one that refuses for lack of permission is
  // tried again while it stays plugged in.
  std::uint32_t reopenPeriodMs = 1000;
  // Period of enumeration where hot-plug is missing.
  std::uint32_t pollPeriodMs = 500;
  // Use enumeration even where hot-plug exists.
  bool forcePolling = false;
};

class LibusbLibrary final : public UsbLibrary {
 public:
  explicit LibusbLibrary(LibusbOptions options = {});
  ~LibusbLibrary() override;
  LibusbLibrary(const LibusbLibrary&) = delete;
  LibusbLibrary& operator=(const LibusbLibrary&) = delete;

  [[nodiscard]] UsbStatus UsbInit(DriverHandle* driver, std::span<const MatchEntry> matches,
                                  const DeviceEventTable& events, std::uint32_t options,
                                  Dispatcher dispatch) override;
  void UsbUninit(DriverHandle driver) override;
  [[nodiscard]] UsbStatus UsbSetInterface(DeviceHandle device, std::uint32_t interfaceNumber,
                                          std::uint32_t alternateSetting) override;
  [[nodiscard]] UsbStatus UsbGetDeviceInfo(DeviceHandle device, const DeviceInfo** info) override;
  void UsbPutDeviceInfo(const DeviceInfo* info) override;
  [[nodiscard]] UsbStatus UsbTransfer(DeviceHandle device, std::uint32_t pipe, std::uint32_t read,
                                      std::uint32_t options, std::uint8_t* buffer, std::int32_t length,
                                      std::uint32_t* bytesTransferred, const std::uint8_t* setupPacket,
                                      std::uint32_t timeoutMs, TransferWaiter* waiter) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Pieces that need no device, exposed for tests.
namespace libusb_detail {
// libusb error code (LIBUSB_ERROR_*) or transfer status to our status.
[[nodiscard]] UsbStatus StatusFromLibusbError(int libusbError);
[[nodiscard]] bool MatchesEntry(const MatchEntry& entry, const DeviceDescriptor& device,
                                const InterfaceDescriptor* firstInterface);
// libusb's bmAttributes transfer-type bits to a PipeType.
[[nodiscard]] PipeType PipeTypeFromAttributes(std::uint8_t bmAttributes);
// The notice logged when a bridge cannot be opened for lack of permission.
[[nodiscard]] std::string PermissionNotice(std::uint8_t busNumber, std::uint8_t deviceAddress);
}  // namespace libusb_detail

}  // namespace regdiag::usb
