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
// Lifetime: the library, the sink and the waiter must outlive the session;
// the session ends (UsbUninit) at End() or, at the latest, in its
// destructor.
#pragma once

#include <cstdint>
#include <functional>
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

  // --- State of the session ------------------------------------------------
  std::uint16_t BridgeVendorId = 0x4B7C;
  std::uint16_t BridgeProductId = 0x2005;
  usb::DriverHandle DriverHandle = 0;
  std::uint32_t LastStatus = 0;
  usb::MatchEntry BridgeMatch{};
  usb::DeviceEventTable DeviceEventTable{};
  DeviceContext Context{};
  TransferBuffer Transfer{};
  usb::AlternateSetting TransferSetting{};
  std::vector<usb::PipeRecord> PipeTable;

  // Sets the bridge's IDs and the interface to select, as at creation.
  void Initialize();
  // The driver start-up: opens the library session, waits for the bridge
  // and logs what it found. Run once.
  void Start(StartWait wait = StartWait::FullSecond);
  // Ends the session. The owner has cancelled its waits first; a transfer
  // still in flight returns at once, and the session ends when it has.
  // Nothing is sent afterwards. Safe to call more than once.
  void End();
  [[nodiscard]] bool Ended() const { return ending_; }
  // True while an attached bridge is held.
  [[nodiscard]] bool Connected() const { return DeviceConnected; }

  // The library's handlers.
  bool DeviceAttach(usb::DeviceHandle device, const usb::DeviceInfo& info, DeviceContext& context);
  void DeviceDetach(usb::DeviceHandle device, DeviceContext& context);
  [[nodiscard]] std::string StatusText(std::uint32_t status) const;

  // --- Pipes -----------------------------------------------------------------
  // One transfer each, with the Transfer buffer as the caller filled it.
  // True when the library reported success; every failure has been logged
  // by then, except a transfer the owner cancelled, which logs nothing.
  bool WritePipe();
  bool ReadPipe();
  bool SetPipesInfo(const usb::AlternateSetting& setting, std::vector<usb::PipeRecord>& pipeTable);
  // Reads `pipe` of the held bridge with short waits until nothing more
  // comes, logging nothing: what a bridge said too late must not be taken
  // for the answer to the next request. Does nothing while no bridge is held.
  void DrainPipe(std::uint32_t pipe);

  // --- Log and notifications ------------------------------------------------
  void LogText(std::string_view text, std::string_view suffix);
  void LogLine(std::string_view text);
  // Runs the library's notifications that wait (not while a transfer is in
  // flight). Owner thread.
  void RunNotifications() { queue_.RunPending(); }

 private:
  bool RunPipe(bool read);
  // One call of UsbTransfer with the notifications held; ends the session
  // afterwards when End() came while it was in flight.
  usb::UsbStatus LibraryTransfer(std::uint32_t pipe, bool read, std::uint8_t* buffer, std::int32_t length,
                                 std::uint32_t* moved, std::uint32_t timeoutMs);
  void Uninit();

  usb::UsbLibrary& library_;
  LogSink& log_;
  Waiter& waiter_;
  NotificationQueue queue_;
  int inFlight_ = 0;
  bool started_ = false;
  bool ending_ = false;
  bool uninitDone_ = false;
};

}  // namespace regdiag
