// A real DiagWindow on a simulated bridge, its map in a folder of its own,
// for the window tests. Everything runs on the test's thread, which is the
// window's.
#pragma once

#include <QTest>
#include <QtWidgets>

#include <string>

#include "backends/sim/sim_usb_library.h"
#include "window/diag_window.h"
#include "window/widgets/hex_entry_box.h"
#include "window_controls.h"

namespace regdiag::test {

// The worked example of the map format, a register on no page (0x05), a page
// of six rows (one unnamed, one shown twice) and one of none. The heading holds
// markup and a Latin-1 byte.
inline std::string SmallMap() {
  std::string map;
  for (const char* line :
       {"TITLEBAR,Board Register Tool", "TITLE,<b>Power</b> Controller \xB5", "REG,5,SPARE",
        "TABNAME,Control", "REG,&H00,CONFIG", "BITS,EN,MODE1,MODE0,-,-,-,SS1,SS0", "REG,1,LIMITS",
        "; spare line for notes", "TABNAME,Status", "REG,&H10,STATUS", "TABNAME,Six", "REG,&H20,R20",
        "REG,&H21,R21", "REG,&H22,", "REG,&H23,R23", "REG,&H24,R24", "REG,&H00,CONFIG", "TABNAME,Empty"})
    map += std::string(line) + "\r\n";
  return map;
}

// Lines the window logs, as a person reads them, for the tests on either
// bridge. An attach names the device handle between kAttach and the verdict.
inline const std::string kNotDetected = "USB-to-I2C interface not detected. Please check connections.\r\n";
inline const std::string kAttach =
    "DeviceAttach: Received attach for \r\nvendor ID &H4B7C product ID &H2005\r\n";
inline const std::string kAccepting = "DeviceAttach: Accepting control of the device\r\n\r\n";
inline const std::string kRejected =
    "DeviceAttach: Previous attached already accepted control of the device - \r\ncontrol is rejected "
    "because "
    "only one device control is supported\r\nDeviceAttach: Rejecting control of the device\r\n";
inline const std::string kNoPipes =
    "  No pipes are defined for this device \r\nother than the default pipe (number 0)\r\nWrite Pipe "
    "failed\r\n";

// A transfer refused by the library in the "Write" or "Read" pipe, with the
// status as the log gives it ("20000007 (The transfer timed out)").
inline std::string PipeFailed(const std::string& pipe, const std::string& status) {
  return pipe + "Pipe: UsbTransfer() failed: error &H" + status + "\r\n" + pipe + " Pipe failed\r\n";
}

// Closes every message box as soon as it shows, and records its text.
class MessageBoxCatcher : public QObject {
 public:
  MessageBoxCatcher() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts_ << box->text();
      box->accept();
    });
    timer_.start(5);
  }
  [[nodiscard]] const QStringList& Texts() const { return texts_; }
  void Clear() { texts_.clear(); }

 private:
  QTimer timer_;
  QStringList texts_;
};

struct HarnessOptions {
  bool writeMap = true;  // false: the folder holds no map
  bool plugBridge = true;
  std::string map = SmallMap();  // the bytes of tabdefs.csv
};

class WindowHarness {
 public:
  explicit WindowHarness(const HarnessOptions& options = {}) {
    QFile file(dir_.filePath(QStringLiteral("tabdefs.csv")));
    if (options.writeMap && file.open(QIODevice::WriteOnly)) file.write(options.map.data(), static_cast<qint64>(options.map.size()));
    file.close();
    if (options.plugBridge) firstBridge_ = library_.Plug();
    window_ = std::make_unique<DiagWindow>(library_, std::filesystem::path(dir_.path().toStdString()));
    controls_ = FindControls(*window_);
  }
  ~WindowHarness() {
    window_->close();
    window_.reset();
    ProcessEvents();
  }

  DiagWindow& Window() { return *window_; }
  [[nodiscard]] const WindowControls& Controls() const { return controls_; }
  usb::SimUsbLibrary& Library() { return library_; }
  MessageBoxCatcher& Messages() { return messages_; }
  [[nodiscard]] std::optional<int> FirstBridge() const { return firstBridge_; }
  [[nodiscard]] QString Folder() const { return dir_.path(); }
  // Shows the window and waits until the driver start-up has ended: with the
  // bridge detected, not detected, or a failure.
  [[nodiscard]] bool ShowAndStart() {
    window_->show();
    const bool ended = QTest::qWaitFor(
        [this] {
          const std::string& log = window_->LogContents();
          return log.find("detected.") != std::string::npos || log.find("failure.") != std::string::npos;
        },
        10000);
    mark_ = window_->LogContents().size();
    return ended;
  }
  // Lets the window handle the notifications the library has queued.
  static void ProcessEvents() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // What the log gained since the last call (or since the start-up).
  std::string NewLog() {
    const std::string& log = window_->LogContents();
    std::string added = mark_ < log.size() ? log.substr(mark_) : std::string();
    mark_ = log.size();
    return added;
  }
  // Types into a row's value box as a person does, over all it holds.
  void Type(int row, const QString& keys) {
    controls_.tbRegdata[row]->selectAll();
    QTest::keyClicks(controls_.tbRegdata[row], keys);
  }
  void SelectPage(int page) { controls_.TabStrip1->setCurrentIndex(page); }

 private:
  QTemporaryDir dir_;
  usb::SimUsbLibrary library_;
  MessageBoxCatcher messages_;
  std::optional<int> firstBridge_;
  std::unique_ptr<DiagWindow> window_;
  WindowControls controls_;
  std::size_t mark_ = 0;
};

}  // namespace regdiag::test
