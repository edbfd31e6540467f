// The driver session: start-up, attach and detach of the bridge, and the end
// of the session.
#include <QApplication>

#include "link/diag_lib/link_log_text.h"
#include "link/diag_lib/session_log_text.h"
#include "window/diag_window.h"
#include "window/log_pane.h"

namespace regdiag {

void DiagWindow::Form_Activate() {
  if (unloaded_) return;
  BridgeMatch.vendorId = BridgeVendorId;
  BridgeMatch.productId = BridgeProductId;
  DeviceEventTable.attach = [this](usb::DeviceHandle device, const usb::DeviceInfo& info, void* userData) {
    return DeviceAttach(device, info, *static_cast<DeviceContext*>(userData));
  };
  DeviceEventTable.detach = [this](usb::DeviceHandle device, void* userData) {
    DeviceDetach(device, *static_cast<DeviceContext*>(userData));
  };
  DeviceEventTable.powerChange = nullptr;
  DeviceEventTable.userData = &Context;
  DeviceEventTable.notice = [this](const std::string& text) { LogLine(text); };

  LogLine(logtext::kInitializing);
  // Notifications come back to this thread as queued calls on the window;
  // once the window is gone they are dropped.
  QPointer<DiagWindow> self(this);
  usb::Dispatcher dispatch = [self](std::function<void()> call) {
    if (self) QMetaObject::invokeMethod(self.data(), std::move(call), Qt::QueuedConnection);
  };
  LastStatus = library_.UsbInit(&DriverHandle, std::span(&BridgeMatch, 1), DeviceEventTable, 1, dispatch);
  if (LastStatus != 0) {
    LogLine(logtext::InitFailed(LastStatus, StatusText(LastStatus)));
    LogLine(logtext::kInitFailure);
    return;
  }
  LogLine(logtext::kInitSuccessful);
  LogLine(logtext::kSearching);
  if (!Pause(1000)) return;
  if (!DeviceConnected) {
    LogLine(logtext::kNotDetected);
    return;
  }
  txtLog->Clear();
  LogLine(logtext::kInitSuccessful);
  LogText(logtext::kDetected, std::string(kCrLf) + std::string(kCrLf));
}

bool DiagWindow::DeviceAttach(usb::DeviceHandle device, const usb::DeviceInfo& info, DeviceContext& context) {
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
    if (accepted) DeviceConnected = true;
  }
  if (accepted) {
    LogLine(logtext::kAccepting);
    LogLine("");
  } else {
    LogLine(logtext::kRejecting);
  }
  return accepted;
}

void DiagWindow::DeviceDetach(usb::DeviceHandle device, DeviceContext& context) {
  LogLine(logtext::DetachReceived(device));
  context.deviceHandle = 0;
  DeviceConnected = false;
}

std::string DiagWindow::StatusText(std::uint32_t status) const {
  return logtext::CutAtNul(library_.UsbStatusString(status));
}

void DiagWindow::cbQuit_Click() { close(); }

void DiagWindow::Form_Unload() {
  unloaded_ = true;
  // Every pause now ends; no transfer follows the end of the session.
  if (static_cast<std::int32_t>(DriverHandle) > 0) library_.UsbUninit(DriverHandle);
}

}  // namespace regdiag
