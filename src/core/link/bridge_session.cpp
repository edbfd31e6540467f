// The driver session: start-up, attach and detach of the bridge, and the end
// of the session.
#include "core/link/bridge_session.h"

#include <span>
#include <utility>

#include "core/text/link_log_text.h"
#include "core/text/session_log_text.h"

namespace regdiag {

namespace {
constexpr int kStartWaitMs = 1000;
}  // namespace

BridgeSession::BridgeSession(usb::UsbLibrary& library, LogSink& log, Waiter& waiter,
                             std::function<void()> wake)
    : library_(library), log_(log), waiter_(waiter), queue_(std::move(wake)) {}

BridgeSession::~BridgeSession() {
  // No handler may run after this: the library session ends here at the
  // latest.
  End();
}

void BridgeSession::Start(StartWait wait) {
  if (started_ || ending_) return;
  started_ = true;
  bridgeMatch_.vendorId = kBridgeVendorId;
  bridgeMatch_.productId = kBridgeProductId;
  deviceEventTable_.attach = [this](usb::DeviceHandle device, const usb::DeviceInfo& info, void* userData) {
    return DeviceAttach(device, info, *static_cast<DeviceContext*>(userData));
  };
  deviceEventTable_.detach = [this](usb::DeviceHandle device, void* userData) {
    DeviceDetach(device, *static_cast<DeviceContext*>(userData));
  };
  deviceEventTable_.powerChange = nullptr;
  deviceEventTable_.userData = &context_;
  deviceEventTable_.notice = [this](const std::string& text) { LogLine(text); };

  LogLine(logtext::kInitializing);
  lastStatus_ =
      library_.UsbInit(&driverHandle_, std::span(&bridgeMatch_, 1), deviceEventTable_, 1, queue_.Dispatcher());
  if (lastStatus_ != 0) {
    LogLine(logtext::InitFailed(lastStatus_, StatusText(lastStatus_)));
    LogLine(logtext::kInitFailure);
    return;
  }
  LogLine(logtext::kInitSuccessful);
  LogLine(logtext::kSearching);
  const bool waited = wait == StartWait::FullSecond
                          ? waiter_.Pause(kStartWaitMs)
                          : waiter_.PauseUntil(kStartWaitMs, [this] { return Connected(); });
  if (!waited || ending_) return;
  if (!Connected()) {
    LogLine(logtext::kNotDetected);
    return;
  }
  log_.Clear();
  LogLine(logtext::kInitSuccessful);
  LogText(logtext::kDetected, std::string(kCrLf) + std::string(kCrLf));
}

bool BridgeSession::DeviceAttach(usb::DeviceHandle device, const usb::DeviceInfo& info,
                                 DeviceContext& context) {
  LogLine(logtext::AttachReceived(info.deviceDescriptor.idVendor, info.deviceDescriptor.idProduct, device));
  bool accepted = false;
  if (context.deviceHandle != 0) {
    LogLine(logtext::AlreadyHeld());
  } else {
    context.deviceHandle = device;
    accepted = true;
    if (context.alternateSetting != 0) {
      context.interfaceSelectionStatus =
          library_.UsbSetInterface(device, context.interfaceNumber, context.alternateSetting);
      if (context.interfaceSelectionStatus != 0) {
        LogLine(logtext::SetInterfaceFailed(context.interfaceNumber, context.alternateSetting, device,
                                            context.interfaceSelectionStatus,
                                            StatusText(context.interfaceSelectionStatus)));
        context.deviceHandle = 0;
        accepted = false;
      }
    }
    if (accepted) {
      connected_ = true;
      ++claims_;
    }
  }
  if (accepted) {
    LogLine(logtext::kAccepting);
    LogLine("");
  } else {
    LogLine(logtext::kRejecting);
  }
  return accepted;
}

void BridgeSession::DeviceDetach(usb::DeviceHandle device, DeviceContext& context) {
  LogLine(logtext::DetachReceived(device));
  context.deviceHandle = 0;
  connected_ = false;
}

std::string BridgeSession::StatusText(std::uint32_t status) const {
  return logtext::CutAtNul(library_.UsbStatusString(status));
}

void BridgeSession::End() {
  ending_ = true;
  // A transfer in flight is being cancelled by the owner; the library
  // session may only end once UsbTransfer has given the buffer back.
  if (inFlight_ == 0) Uninit();
}

void BridgeSession::Uninit() {
  if (uninitDone_) return;
  uninitDone_ = true;
  connected_ = false;
  if (static_cast<std::int32_t>(driverHandle_) > 0) library_.UsbUninit(driverHandle_);
}

void BridgeSession::LogText(std::string_view text, std::string_view suffix) { log_.Append(text, suffix); }

void BridgeSession::LogLine(std::string_view text) { LogText(text, kCrLf); }

}  // namespace regdiag
