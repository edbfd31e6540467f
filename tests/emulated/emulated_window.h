// A real DiagWindow on the libusb backend, with its map in a folder of its
// own, and bridges on an emulated USB bus below libusb.
#pragma once

// umockdev's GLib headers come before any Qt header: Qt's keyword macros
// would break them.
#include "emulated_bridge.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstddef>
#include <memory>
#include <string>

#include "link/usb_lib/libusb_library.h"
#include "support/window_harness.h"
#include "window/diag_window.h"

namespace regdiag::test {

struct EmulatedWindowOptions {
  bool plugBridge = true;  // a sound bridge is there before the window starts
  BridgeShape shape;       // of that bridge
  usb::LibusbOptions libusb;
};

class EmulatedWindow {
 public:
  explicit EmulatedWindow(EmulatedWindowOptions options = {});
  ~EmulatedWindow();
  EmulatedWindow(const EmulatedWindow&) = delete;
  EmulatedWindow& operator=(const EmulatedWindow&) = delete;

  DiagWindow& Window() { return *window_; }
  EmulatedUsb& Usb() { return usb_; }
  MessageBoxCatcher& Messages() { return messages_; }

  // Shows the window and waits until the driver start-up has finished.
  // False when it did not finish in time.
  bool ShowAndStart();
  // Serves the window's events until the log from `from` on holds `text`.
  // False when it did not come within ten seconds.
  bool WaitForLog(const std::string& text, std::size_t from);
  [[nodiscard]] std::size_t LogSize() const { return window_->LogContents().size(); }
  // The log from `from` on (a character offset into it).
  [[nodiscard]] std::string LogSince(std::size_t from) const;
  // Types two hex digits into a row's value box, as a user would.
  void TypeValue(int row, const char* digits);

 private:
  // Declared in the order they must exist: the bus before libusb starts,
  // the window last, so that it goes first.
  EmulatedUsb usb_;
  QTemporaryDir dir_;
  usb::LibusbLibrary library_;
  MessageBoxCatcher messages_;
  std::unique_ptr<DiagWindow> window_;
};

}  // namespace regdiag::test

// Log texts in failure messages, with their line ends shown.
template <>
inline char* QTest::toString(const std::string& text) {
  QByteArray shown = QByteArray::fromStdString(text);
  shown.replace("\r", "\\r").replace("\n", "\\n");
  return qstrdup(('"' + shown + '"').constData());
}
