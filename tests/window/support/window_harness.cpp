#include "support/window_harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTabBar>
#include <QTest>

namespace regdiag::test {

MessageBoxCatcher::MessageBoxCatcher() {
  timer_.setInterval(5);
  connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::Poll);
  timer_.start();
}

void MessageBoxCatcher::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || !box->isVisible()) return;
  texts_ << box->text();
  captions_ << box->windowTitle();
  box->accept();
}

std::string CrLfLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::string SmallMap() {
  return CrLfLines({"TITLEBAR,Board Register Tool", "TITLE,Power Controller", "TABNAME,Control",
                    "REG,&H00,CONFIG", "BITS,EN,MODE1,MODE0,-,-,-,SS1,SS0", "REG,1,LIMITS",
                    "; spare line for notes", "TABNAME,Status", "REG,&H10,STATUS", "TABNAME,Six",
                    "REG,&H20,R20", "REG,&H21,R21", "REG,&H22,", "REG,&H23,R23", "REG,&H24,R24", "REG,&H00,CONFIG",
                    "TABNAME,Empty"});
}

WindowHarness::WindowHarness(HarnessOptions options) {
  if (options.writeMap) {
    QFile file(dir_.filePath(QStringLiteral("tabdefs.csv")));
    if (file.open(QIODevice::WriteOnly)) {
      file.write(options.map.data(), static_cast<qint64>(options.map.size()));
    }
  }
  if (options.plugBridge) firstBridge_ = library_.Plug();
  window_ = std::make_unique<DiagWindow>(library_, std::filesystem::path(dir_.path().toStdString()));
}

WindowHarness::~WindowHarness() {
  if (window_) window_->close();
  window_.reset();
  ProcessEvents();
}

bool WindowHarness::ShowAndStart() {
  window_->show();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 10000) {
    QTest::qWait(20);
    const std::string& log = window_->LogContents();
    const bool ended = log.find("interface detected.") != std::string::npos ||
                       log.find("not detected.") != std::string::npos ||
                       log.find("initialization failure.") != std::string::npos;
    if (ended) return true;
  }
  return false;
}

void WindowHarness::ProcessEvents() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string WindowHarness::LogSince(std::size_t from) const {
  const std::string& log = window_->LogContents();
  return from < log.size() ? log.substr(from) : std::string();
}

void WindowHarness::SelectPage(int page) { window_->TabStrip1->setCurrentIndex(page); }

}  // namespace regdiag::test
