// The driver session with the USB library: the start-up that looks for the
// bridge, the attach and detach rules that decide which bridge is held, the
// pipe transfers to the held bridge, and the end of the session.
//
// Plain C++ with no widgets: the window and the command line each own one,
// giving it where log entries go, how to wait, and how to be woken when the
// library has notifications for it.
//
// Threads: everything runs on the owner's thread. The library's attach and
// detach notifications arrive through the notification queue and run when
// the owner calls RunNotifications (or inside a wait of its waiter).
// Lifetime: the library, the sink and the waiter must outlive the session.
// The session is made ready for the bridge when it is constructed, opened
// once by Start(), and ended (UsbUninit) at End() or, at the latest, in its
// destructor.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/link/log_sink.h"
#include "core/link/notification_queue.h"
#include "core/link/waiter.h"
#include "core/link/device_context.h"
#include "core/usb/usb_lib.h"

namespace regdiag {

class BridgeSession {
 public:
  // How the start-up waits for the bridge: the whole second, or only until
  // a bridge has been accepted (at most that second).
  enum class StartWait { FullSecond, UntilAttached };

  // `wake` is called from any thread when notifications wait; the owner
  // then calls RunNotifications on its thread.
  BridgeSession(usb::UsbLibrary& library, LogSink& log, Waiter& waiter, std::function<void()> wake);
  ~BridgeSession();
  BridgeSession(const BridgeSession&) = delete;
  BridgeSession& operator=(const BridgeSession&) = delete;

  // The driver start-up: opens the library session, waits for the bridge
  // and logs what it found. Runs once; later calls do nothing.
  void Start(StartWait wait = StartWait::FullSecond);
  // Ends the session. The owner has cancelled its waits first; a transfer
  // still in flight returns at once, and the session ends when it has.
  // Nothing is sent afterwards. Safe to call more than once.
  void End();
  [[nodiscard]] bool Ended() const { return ending_; }
  // True from the acceptance of a bridge until its detach (or the end of
  // the session).
  [[nodiscard]] bool Connected() const { return connected_; }
  // How many bridges have been accepted so far. It changes whenever another
  // bridge is held, so a sequence can tell that it is still talking to the
  // chip it began with, and the engine that a new bridge may still hold a
  // reply from before it was claimed.
  [[nodiscard]] std::uint64_t Claims() const { return claims_; }
  // The device handle of the held bridge; 0 when none is held.
  [[nodiscard]] usb::DeviceHandle HeldDevice() const { return context_.deviceHandle; }
  // The status of the last library call (0 = success).
  [[nodiscard]] std::uint32_t LastStatus() const { return lastStatus_; }

  // The library's handlers.
  bool DeviceAttach(usb::DeviceHandle device, const usb::DeviceInfo& info, DeviceContext& context);
  void DeviceDetach(usb::DeviceHandle device, DeviceContext& context);
  [[nodiscard]] std::string StatusText(std::uint32_t status) const;

  // --- Pipes -----------------------------------------------------------------
  // One transfer each on the held bridge. WritePipe sends `request` whole;
  // ReadPipe asks for `length` bytes into `reply` (which holds at least
  // that many) and gives the number of bytes that came. Both fail with no
  // result once every failure has been logged, except a transfer the owner
  // cancelled, which logs nothing. ReadPipe passes over zero-length packets:
  // none is a reply, and the read goes on for what is left of its time-out.
  [[nodiscard]] bool WritePipe(std::uint32_t pipe, std::span<const std::uint8_t> request);
  [[nodiscard]] std::optional<std::uint32_t> ReadPipe(std::uint32_t pipe, std::span<std::uint8_t> reply,
                                                      std::int32_t length);
  // True when the setting has at least one endpoint; logs why not.
  bool SetPipesInfo(const usb::AlternateSetting& setting);
  // Reads `pipe` of the held bridge with short waits until nothing more
  // comes, logging nothing: what a bridge said too late must not be taken
  // for the answer to the next request. Gives the number of packets that
  // held bytes. Does nothing while no bridge is held.
  int DrainPipe(std::uint32_t pipe);
  // One more read of `pipe`, waiting at most `waitMs`, logging nothing: true
  // when a packet with bytes came (one that belongs to no request), false
  // when nothing did. Zero-length packets are passed over.
  [[nodiscard]] bool PacketFollows(std::uint32_t pipe, std::uint32_t waitMs);
  // True while a transfer (or a drain) is in flight: the window serves its
  // events meanwhile, and nothing may start a second exchange then.
  [[nodiscard]] bool TransferInFlight() const { return inFlight_ > 0; }

  // --- Log and notifications ------------------------------------------------
  void LogText(std::string_view text, std::string_view suffix);
  void LogLine(std::string_view text);
  // Runs the library's notifications that wait (not while a transfer is in
  // flight). Owner thread.
  void RunNotifications() { queue_.RunPending(); }

 private:
  std::optional<std::uint32_t> RunPipe(std::uint32_t pipe, bool read, std::uint8_t* buffer,
                                       std::int32_t length, std::uint32_t timeoutMs);
  // One call of UsbTransfer with the notifications held; ends the session
  // afterwards when End() came while it was in flight.
  usb::UsbStatus LibraryTransfer(std::uint32_t pipe, bool read, std::uint8_t* buffer, std::int32_t length,
                                 std::uint32_t* moved, std::uint32_t timeoutMs);
  void Uninit();

  static constexpr std::uint16_t kBridgeVendorId = 0x4B7C;
  static constexpr std::uint16_t kBridgeProductId = 0x2005;

  usb::UsbLibrary& library_;
  LogSink& log_;
  Waiter& waiter_;
  NotificationQueue queue_;
  usb::DriverHandle driverHandle_ = 0;
  std::uint32_t lastStatus_ = 0;
  usb::MatchEntry bridgeMatch_{};
  usb::DeviceEventTable deviceEventTable_{};
  // Interface 0, alternate setting 0: no interface is selected on attach.
  DeviceContext context_{};
  bool connected_ = false;
  std::uint64_t claims_ = 0;
  int inFlight_ = 0;
  bool started_ = false;
  bool ending_ = false;
  bool uninitDone_ = false;
};

}  // namespace regdiag
