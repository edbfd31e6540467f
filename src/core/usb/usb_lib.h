// The USB device library as the program uses it: a session that reports
// matching devices as they come and go, device information, and synchronous
// pipe transfers. Two backends implement it: libusb-1.0 for real bridges and
// a simulated bridge with a virtual chip behind it.
//
// Threads: every operation is called on the window thread. Attach, detach
// and notice handlers are only ever run through the Dispatcher given to
// UsbInit, never directly from a library thread, so they too run on the
// window thread, whenever that thread processes its events.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/usb/usb_status.h"

namespace regdiag::usb {

// Opaque 32-bit handles; 0 is never a valid one.
using DriverHandle = std::uint32_t;
using DeviceHandle = std::uint32_t;

// One entry of the table of devices the session looks for. A zero class,
// subclass or protocol field matches any value.
struct MatchEntry {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint8_t deviceClass = 0;
  std::uint8_t deviceSubClass = 0;
  std::uint8_t interfaceClass = 0;
  std::uint8_t interfaceSubClass = 0;
  std::uint8_t interfaceProtocol = 0;
};

// The standard USB device descriptor.
struct DeviceDescriptor {
  std::uint8_t bLength = 18;
  std::uint8_t bDescriptorType = 1;
  std::uint16_t bcdUSB = 0x0200;
  std::uint8_t bDeviceClass = 0;
  std::uint8_t bDeviceSubClass = 0;
  std::uint8_t bDeviceProtocol = 0;
  std::uint8_t bMaxPacketSize0 = 64;
  std::uint16_t idVendor = 0;
  std::uint16_t idProduct = 0;
  std::uint16_t bcdDevice = 0;
  std::uint8_t iManufacturer = 0;
  std::uint8_t iProduct = 0;
  std::uint8_t iSerialNumber = 0;
  std::uint8_t bNumConfigurations = 1;
};

// The standard USB interface descriptor.
struct InterfaceDescriptor {
  std::uint8_t bLength = 9;
  std::uint8_t bDescriptorType = 4;
  std::uint8_t bInterfaceNumber = 0;
  std::uint8_t bAlternateSetting = 0;
  std::uint8_t bNumEndpoints = 0;
  std::uint8_t bInterfaceClass = 0;
  std::uint8_t bInterfaceSubClass = 0;
  std::uint8_t bInterfaceProtocol = 0;
  std::uint8_t iInterface = 0;
};

enum class PipeType : std::uint32_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

// One pipe (endpoint) of an alternate setting: five 32-bit fields.
struct PipeRecord {
  std::uint32_t number = 0;  // endpoint address, bit 7 set for IN
  std::uint32_t type = 0;    // a PipeType
  std::uint32_t maxPacketSize = 0;
  std::uint32_t interval = 0;
  std::uint32_t direction = 0;  // 1 for IN, 0 for OUT
};
static_assert(sizeof(PipeRecord) == 20, "a pipe record is 20 bytes");

// An alternate setting: its interface descriptor and its pipe records
// (bNumEndpoints of them).
struct AlternateSetting {
  InterfaceDescriptor descriptor;
  std::vector<PipeRecord> pipes;
};

// What UsbGetDeviceInfo gives: the device descriptor and the active
// alternate setting of the device's first interface.
struct DeviceInfo {
  DeviceDescriptor deviceDescriptor;
  AlternateSetting activeSetting;
};

// Handlers of the session. The attach handler returns true to take control
// of the device; a device whose attach was declined is set aside, never
// reported as detached, and offered again (oldest first, one per departure)
// when a device the handler took leaves. The notice handler receives texts the library wants
// the user to see (for instance a device that cannot be opened for lack of
// permission); it may be empty.
struct DeviceEventTable {
  std::function<bool(DeviceHandle, const DeviceInfo&, void* userData)> attach;
  std::function<void(DeviceHandle, void* userData)> detach;
  std::function<void(std::uint32_t powerState, void* userData)> powerChange;
  void* userData = nullptr;
  std::function<void(const std::string& text)> notice;
};

// Runs a callable on the window thread, later, from its event loop. Must be
// safe to call from any thread.
using Dispatcher = std::function<void(std::function<void()>)>;

inline constexpr std::uint32_t kTransferTimeoutMs = 30000;

// How the caller of UsbTransfer waits while its transfer is in flight, and how
// it asks for the transfer to be given up (the window is closing, Ctrl+C).
//
// Threads: WaitUntil runs on the thread that called UsbTransfer and tests
// `ended` there. Wake may be called from any thread, including a library
// thread and from inside WaitUntil's own call stack.
class TransferWaiter {
 public:
  virtual ~TransferWaiter() = default;
  // Returns true once `ended` tests true or `deadline` has come, whichever is
  // first; false as soon as the owner wants the transfer cancelled, whether or
  // not it has ended. The library calls Wake after anything that may have made
  // `ended` true, so a waiter may sleep between tests.
  [[nodiscard]] virtual bool WaitUntil(const std::function<bool()>& ended,
                                       std::chrono::steady_clock::time_point deadline) = 0;
  // Makes a WaitUntil in progress (or the next one) test `ended` again.
  virtual void Wake() = 0;
};

class UsbLibrary {
 public:
  virtual ~UsbLibrary() = default;

  // Opens a session that looks for the matching devices. On success
  // *driver holds the session, and devices already plugged in are reported
  // soon after (well within a second), later ones when they arrive.
  [[nodiscard]] virtual UsbStatus UsbInit(DriverHandle* driver, std::span<const MatchEntry> matches,
                                          const DeviceEventTable& events, std::uint32_t options,
                                          Dispatcher dispatch) = 0;
  // Ends the session: held devices are released and closed, no handler runs
  // afterwards.
  virtual void UsbUninit(DriverHandle driver) = 0;
  [[nodiscard]] virtual UsbStatus UsbSetInterface(DeviceHandle device, std::uint32_t interfaceNumber,
                                                  std::uint32_t alternateSetting) = 0;
  // On success *info points to library-owned information, valid until
  // UsbPutDeviceInfo. Handle 0 or an unknown handle gives a non-zero status.
  [[nodiscard]] virtual UsbStatus UsbGetDeviceInfo(DeviceHandle device, const DeviceInfo** info) = 0;
  virtual void UsbPutDeviceInfo(const DeviceInfo* info) = 0;
  // Synchronous transfer on one pipe; read is 1 for IN, 0 for OUT. buffer may
  // be null when length is 0 or less. Returns when the transfer has ended,
  // timeoutMs has run out, or the waiter has asked for it to be cancelled
  // (kStatusCancelled; the transfer has ended by then and the buffer is the
  // caller's again). Meanwhile the calling thread waits in waiter->WaitUntil;
  // without a waiter it simply blocks. UsbUninit must not be called while a
  // transfer is in flight: cancel it first, and end the session once
  // UsbTransfer has returned.
  [[nodiscard]] virtual UsbStatus UsbTransfer(DeviceHandle device, std::uint32_t pipe, std::uint32_t read,
                                              std::uint32_t options, std::uint8_t* buffer, std::int32_t length,
                                              std::uint32_t* bytesTransferred, const std::uint8_t* setupPacket,
                                              std::uint32_t timeoutMs, TransferWaiter* waiter) = 0;
  // The text of a status. A NUL may end the meaningful part.
  [[nodiscard]] virtual std::string UsbStatusString(UsbStatus status) const { return StatusDescription(status); }
};

}  // namespace regdiag::usb
