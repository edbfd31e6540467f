// The simulated backend: virtual bridges that tests and regdiag-sim plug in
// and out, each with a virtual chip, and every fault the program must
// survive, injectable on demand.
//
// Threads: everything here runs on the window thread. Attach and detach
// notifications still travel through the session's Dispatcher, so they reach
// the program the way a real backend's do: when the window processes events.
// The Dispatcher must run callables in the order they were given.
//
// A device handle is usable (device information, interface selection,
// transfers) while its attach handler runs and, once accepted, until the
// bridge is unplugged or the session ends. A handle that was issued but is
// no longer usable gives kStatusNoDevice; one never issued kStatusInvalidHandle.
//
// Every plugged bridge gets a fresh chip with all registers zero, so tests
// start from known contents; regdiag-sim calls LoadDemoValues() itself.
// With no bridge plugged, Bridge() answers with a standing chip that belongs
// to no bridge, so the call is always valid.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/usb/usb_lib.h"
#include "backends/sim/virtual_bridge.h"

namespace regdiag::usb {

class SimUsbLibrary final : public UsbLibrary {
 public:
  SimUsbLibrary();
  ~SimUsbLibrary() override;

  // UsbLibrary
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
  [[nodiscard]] std::string UsbStatusString(UsbStatus status) const override;

  // --- The bench: plugging bridges in and out -------------------------
  // Plugs in a bridge with the given IDs (by default the real bridge's) and
  // returns its id on the bench. While a session runs, a matching bridge is
  // reported to the attach handler through the dispatcher.
  int Plug(std::uint16_t vendorId = 0x4B7C, std::uint16_t productId = 0x2005);
  // Unplugs one bridge; a held one is reported to the detach handler.
  void Unplug(int bridgeId);
  [[nodiscard]] std::vector<int> PluggedBridges() const;
  // The bridge whose attach was accepted, if any.
  [[nodiscard]] std::optional<int> HeldBridge() const;
  // The device handle the session gave a plugged bridge (0 before a session
  // saw it).
  [[nodiscard]] DeviceHandle HandleOf(int bridgeId) const;
  // The virtual chip behind a bridge (the first plugged one by default); an
  // id that is not plugged gets the standing chip.
  [[nodiscard]] VirtualBridge& Bridge(int bridgeId);
  [[nodiscard]] VirtualBridge& Bridge();
  // The chips of every bridge, plugged now or later, follow these rules
  // (ChipRulesOf a map); without them a chip is plain memory.
  void FollowRules(const ChipRules& rules);

  // --- Faults ----------------------------------------------------------
  // The next UsbInit fails with this status; the text, when given, becomes
  // UsbStatusString's answer for it (it may hold a NUL).
  void FailNextInit(UsbStatus status, std::optional<std::string> text = std::nullopt);
  // Bridges plugged from now on offer an active setting with no endpoints.
  void SetNoEndpoints(bool none) { noEndpoints_ = none; }
  // The next UsbTransfer fails with this status and moves nothing. A read that
  // only drains the reply pipe (no request before it) is not counted.
  void FailNextTransfer(UsbStatus status = kStatusIoError) { failNextTransfer_ = status; }
  // The next UsbTransfer times out (status kStatusTimeout), at once.
  void TimeOutNextTransfer() { failNextTransfer_ = kStatusTimeout; }
  // The next UsbTransfer hangs: it waits in its waiter until its time-out
  // (kStatusTimeout), until the waiter cancels it (kStatusCancelled) or until
  // its bridge is unplugged (kStatusNoDevice). Without a waiter, nothing could
  // ever end the wait but the time-out, so it times out at once.
  void HangNextTransfer() { hangNextTransfer_ = true; }
  // The next read's reply comes late: the IN transfer that should collect it
  // times out (at once), and the reply then sits in the IN pipe, where the
  // next IN transfer finds it before anything newer. A read that only
  // drains the pipe is not counted.
  void AnswerNextReadLate() { answerNextReadLate_ = true; }
  // Replies are padded with zeros to a full packet from now on, as some
  // bridge firmware sends them. The IN transfer hands back
  // what was asked for, as with any whole packet.
  void SetPadReplies(bool pad) { padReplies_ = pad; }
  // From now on a padded reply is followed by a zero-length packet, as some
  // firmware ends a full packet.
  void SetZeroLengthPackets(bool on) { zeroLengthPackets_ = on; }
  // The next bridge plugged in holds one reply that nobody requested, with
  // a value no register of its chip holds (VirtualBridge::UnheldValue): left
  // by an earlier run that was killed during a transfer. It is in the pipe
  // before the bridge is first offered to a session. One-shot.
  void LeaveReplyAtNextPlug() { replyAtNextPlug_ = true; }
  // An IN transfer that finds nothing in the pipe waits out its time-out in
  // its waiter, as a real bridge keeps it waiting, instead of ending at once
  // (for benchmarks that must pay what a real bridge costs).
  void SetEmptyReadsWait(bool wait) { emptyReadsWait_ = wait; }
  // The next UsbGetDeviceInfo fails with this status.
  void FailNextDeviceInfo(UsbStatus status = kStatusNoDevice) { failNextDeviceInfo_ = status; }
  // The next reply of the held bridge (or of the first plugged one when none
  // is held) carries this status byte; the chip still does what was asked.
  void ForceNextStatusByte(std::uint8_t status);
  // The next reply of the held bridge (or the first plugged one) is cut to
  // this many bytes.
  void ShortenNextReply(std::size_t bytes);
  // A fault for every exchange with the chip from now on (a request and its
  // reply), or only for those that name one register. Applied when the
  // request goes out: NoAck and I2cError force the status byte (the chip
  // still does what was asked), TransferError fails the request's transfer,
  // Timeout the reply's (at once, the reply staying in the bridge, ahead of
  // the next), StatusOnly cuts the reply to its status
  // byte, Late answers the request late, Unplug pulls the bridge out just as
  // the request would go.
  enum class Fault { NoAck, I2cError, TransferError, Timeout, StatusOnly, Late, Unplug };
  void SetStandingFault(std::optional<Fault> fault, std::optional<std::uint8_t> address = std::nullopt) {
    standingFault_ = fault;
    standingAddress_ = address;
  }

  // Runs once inside the next UsbTransfer, before it moves any data: lets a
  // test unplug the bridge in the middle of an exchange.
  void OnNextTransfer(std::function<void()> hook) { nextTransferHook_ = std::move(hook); }
  // The pipe of the transfer in progress (for the hook).
  [[nodiscard]] std::uint32_t TransferPipe() const { return transferPipe_; }
  // What an OUT transfer in progress sends (for the hook); empty for a read.
  [[nodiscard]] const std::vector<std::uint8_t>& TransferBytes() const { return transferBytes_; }

  // --- Observation -----------------------------------------------------
  [[nodiscard]] bool SessionOpen() const { return session_.has_value(); }
  [[nodiscard]] int InitCalls() const { return initCalls_; }
  [[nodiscard]] int UninitCalls() const { return uninitCalls_; }
  [[nodiscard]] std::uint64_t TransferCount() const { return transferCount_; }
  [[nodiscard]] int OutstandingDeviceInfo() const { return outstandingInfo_; }

 private:
  struct SimBridge;
  struct Session {
    DriverHandle handle = 0;
    std::vector<MatchEntry> matches;
    DeviceEventTable events;
    Dispatcher dispatch;
  };

  void Announce(int bridgeId);
  [[nodiscard]] bool Matches(const SimBridge& bridge) const;
  [[nodiscard]] SimBridge* FindByHandle(DeviceHandle device);
  // The bridge behind a usable handle, or the status explaining why not.
  [[nodiscard]] SimBridge* UsableBridge(DeviceHandle device, UsbStatus* status);
  [[nodiscard]] SimBridge* FirstPlugged() const;
  [[nodiscard]] VirtualBridge& FaultTarget();
  // Hands a notification to the session's dispatcher; it is dropped when it
  // arrives after the session (or the library) has ended.
  void Post(std::function<void()> notification);
  void RunAttach(int bridgeId, DeviceHandle handle);
  void RunDetach(DeviceHandle handle);
  [[nodiscard]] UsbStatus ReadReply(SimBridge& bridge, std::uint8_t* buffer, std::int32_t length,
                                    std::uint32_t* bytesTransferred);
  // Nothing to read: the time-out, at once or waited out.
  [[nodiscard]] UsbStatus NothingToRead(DeviceHandle device, std::uint32_t timeoutMs, TransferWaiter* waiter);
  [[nodiscard]] UsbStatus Hang(DeviceHandle device, std::uint32_t timeoutMs, TransferWaiter* waiter);
  // Arms the standing fault for the request in `packet`, if it applies;
  // returns a status when the request's own transfer must fail.
  [[nodiscard]] std::optional<UsbStatus> ApplyStandingFault(SimBridge& bridge, std::span<const std::uint8_t> packet);

  std::map<int, std::unique_ptr<SimBridge>> bridges_;
  int nextBridgeId_ = 1;
  static constexpr DeviceHandle kFirstDeviceHandle = 0x1000;
  DeviceHandle nextDeviceHandle_ = kFirstDeviceHandle;
  DriverHandle nextDriverHandle_ = 1;
  std::optional<Session> session_;
  // Bumped by every UsbInit and UsbUninit, so that a notification queued for
  // an ended session is dropped when it arrives.
  std::shared_ptr<std::uint64_t> generation_;
  std::optional<std::pair<UsbStatus, std::optional<std::string>>> failNextInit_;
  std::map<UsbStatus, std::string> statusTexts_;
  bool noEndpoints_ = false;
  bool padReplies_ = false;
  bool zeroLengthPackets_ = false;
  bool replyAtNextPlug_ = false;
  bool emptyReadsWait_ = false;
  bool hangNextTransfer_ = false;
  bool requestUnanswered_ = false;  // a request went out and no read has followed it
  bool answerNextReadLate_ = false;
  std::uint32_t transferPipe_ = 0;
  std::vector<std::uint8_t> transferBytes_;
  std::optional<UsbStatus> failNextTransfer_;
  std::optional<UsbStatus> failNextReply_;
  std::optional<Fault> standingFault_;
  std::optional<std::uint8_t> standingAddress_;
  std::optional<UsbStatus> failNextDeviceInfo_;
  std::function<void()> nextTransferHook_;
  int initCalls_ = 0;
  int uninitCalls_ = 0;
  std::uint64_t transferCount_ = 0;
  int outstandingInfo_ = 0;
  // Handles whose attach was accepted in this session. A handle stays here
  // after its bridge is unplugged until the detach notification has run.
  std::set<DeviceHandle> accepted_;
  // Handles of plugged bridges whose attach was declined in this session.
  std::set<DeviceHandle> declined_;
  // The handle whose attach handler is running, usable during the call.
  DeviceHandle attaching_ = 0;
  VirtualBridge standingChip_;
  ChipRules chipRules_{};
  std::map<const DeviceInfo*, std::unique_ptr<DeviceInfo>> infos_;
};

}  // namespace regdiag::usb
