// A real DiagWindow on a simulated bridge, with its map in a folder of its
// own, for the offscreen window tests.
#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

#include "link/usb_lib/sim_usb_library.h"
#include "window/diag_window.h"

namespace regdiag::test {

// Closes every message box as soon as it shows and records its text.
class MessageBoxCatcher : public QObject {
 public:
  MessageBoxCatcher();
  [[nodiscard]] const QStringList& Texts() const { return texts_; }
  [[nodiscard]] const QStringList& Captions() const { return captions_; }
  void Clear() { texts_.clear(); captions_.clear(); }

 private:
  void Poll();
  QTimer timer_;
  QStringList texts_;
  QStringList captions_;
};

// The worked example of the map format, plus a page of six rows.
std::string SmallMap();
// Joins lines with CR LF, each line ending in CR LF.
std::string CrLfLines(std::initializer_list<std::string> lines);

struct HarnessOptions {
  std::string map = SmallMap();
  bool writeMap = true;  // false: the folder holds no map file
  bool plugBridge = true;
};

class WindowHarness {
 public:
  explicit WindowHarness(HarnessOptions options = {});
  ~WindowHarness();

  DiagWindow& Window() { return *window_; }
  usb::SimUsbLibrary& Library() { return library_; }
  MessageBoxCatcher& Messages() { return messages_; }
  [[nodiscard]] std::optional<int> FirstBridge() const { return firstBridge_; }

  // Shows the window and waits until the driver start-up has finished.
  // Returns false when it did not finish in time.
  bool ShowAndStart();
  // Lets the window handle the notifications the library has queued.
  static void ProcessEvents();
  // The log from `from` on (a character offset into it).
  [[nodiscard]] std::string LogSince(std::size_t from) const;
  // Selects page index p as a user would.
  void SelectPage(int page);

 private:
  QTemporaryDir dir_;
  usb::SimUsbLibrary library_;
  MessageBoxCatcher messages_;
  std::optional<int> firstBridge_;
  std::unique_ptr<DiagWindow> window_;
};

}  // namespace regdiag::test
