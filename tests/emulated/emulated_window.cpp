#include "emulated_window.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <filesystem>

#include "window/hex_entry_box.h"

namespace regdiag::test {

namespace {

constexpr int kWaitMs = 10000;

}  // namespace

EmulatedWindow::EmulatedWindow(EmulatedWindowOptions options) : library_(options.libusb) {
  {
    QFile file(dir_.filePath(QStringLiteral("tabdefs.csv")));
    const std::string map = SmallMap();
    if (file.open(QIODevice::WriteOnly)) {
      file.write(map.data(), static_cast<qint64>(map.size()));
    }
  }
  if (options.plugBridge) {
    usb_.Plug(options.shape);
  }
  window_ = std::make_unique<DiagWindow>(library_, std::filesystem::path(dir_.path().toStdString()));
}

EmulatedWindow::~EmulatedWindow() {
  window_->close();
  window_.reset();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool EmulatedWindow::ShowAndStart() {
  window_->show();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < kWaitMs) {
    QTest::qWait(20);
    const std::string& log = window_->LogContents();
    if (log.find("interface detected.") != std::string::npos ||
        log.find("not detected.") != std::string::npos ||
        log.find("initialization failure.") != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool EmulatedWindow::WaitForLog(const std::string& text, std::size_t from) {
  QElapsedTimer clock;
  clock.start();
  while (LogSince(from).find(text) == std::string::npos) {
    if (clock.elapsed() >= kWaitMs) {
      return false;
    }
    QTest::qWait(10);
  }
  return true;
}

std::string EmulatedWindow::LogSince(std::size_t from) const {
  const std::string& log = window_->LogContents();
  return from < log.size() ? log.substr(from) : std::string();
}

void EmulatedWindow::TypeValue(int row, const char* digits) {
  HexEntryBox* box = window_->tbRegdata[static_cast<std::size_t>(row)];
  box->selectAll();
  QTest::keyClicks(box, QString::fromLatin1(digits));
}

}  // namespace regdiag::test
