// Creation, load and the window events that are not a control's.
#include "window/diag_window.h"
#include "window/widgets/bit_button.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>

#include "core/map/map_file.h"
#include "core/text/transaction_text.h"
#include "core/transactions/access_rules.h"
#include "window/display_text.h"
#include "window/exact_wake.h"
#include "window/widgets/hex_entry_box.h"
#include "window/widgets/log_pane.h"
#include "window/widgets/wrap_button.h"

namespace regdiag {

namespace {

RegisterEngine::Hooks WindowHooks(DiagWindow& window) {
  return {
      .notConnected = [&window] { window.ShowMessage(QString::fromLatin1(logtext::kNotConnectedMessage)); },
      .now = {}};
}

}  // namespace

DiagWindow::DiagWindow(usb::UsbLibrary& library, const std::filesystem::path& appFolder, QWidget* parent)
    : DiagWindow(library, appFolder / kMapFileName, false, parent) {}

DiagWindow::DiagWindow(usb::UsbLibrary& library, MapFile mapFile, QWidget* parent)
    : DiagWindow(library, std::move(mapFile.path), true, parent) {}

DiagWindow::DiagWindow(usb::UsbLibrary& library, std::filesystem::path mapPath, bool mapNamed,
                       QWidget* parent)
    : QWidget(parent),
      mapPath_(std::move(mapPath)),
      mapNamed_(mapNamed),
      // The library's notifications come back to this thread as queued calls
      // on the window; once the window is gone they are dropped.
      engine_(
          library, Map, Cache, logSink_, waiter_,
          [this] {
            QMetaObject::invokeMethod(
                this, [this] { engine_.Session().RunNotifications(); }, Qt::QueuedConnection);
          },
          WindowHooks(*this)) {
  setObjectName(QStringLiteral("DiagWindow"));
  exactWake_ = new ExactWake(this);
  BuildControls();
  ConnectEvents();
  AddPageMenu();
  Form_Initialize();
  Form_Load();
  // Shown centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

DiagWindow::~DiagWindow() {
  // The program ends with its window: the session must not outlive it.
  if (!unloaded_) Form_Unload();
}

void DiagWindow::Form_Initialize() {
  // The session holds the bridge's IDs and the interface to select from its
  // construction on.
  IgnoreSpinnerChange = false;
}

void DiagWindow::Form_Load() {
  if (!LoadRegisterMap()) return;  // the window stays as laid out
  loadResetValues_->setVisible(!ResetValues(Map).empty());
  ApplyMapTexts();
  BuildTabs();
  TabStrip1_Click();
}

bool DiagWindow::LoadRegisterMap() {
  FileRead file = ReadFileWhole(mapPath_);
  // A map named on the command line is named in the message too.
  const auto message = [this](std::string text) {
    const std::string beside = std::string("(") + kMapFileName + ")";
    if (mapNamed_) text.replace(text.find(beside), beside.size(), "(" + mapPath_.string() + ")");
    return QString::fromStdString(text);
  };
  switch (file.outcome) {
    case FileRead::Outcome::NotFound:
      ShowMessage(message(kMapNotFoundMessage));
      return false;
    case FileRead::Outcome::Unreadable:
      ShowMessage(message(MapUnreadableMessage(file.reason)));
      return false;
    case FileRead::Outcome::Loaded:
      break;
  }
  Map = ParseRegisterMap(file.bytes);
  if (!NamesAnyRegister(Map)) LogLine(MapNamesNoRegisterMessage(mapPath_.string()));
  Cache.Clear();
  return true;
}

void DiagWindow::ApplyMapTexts() {
  if (!Map.WindowTitle.empty()) setWindowTitle(LiteralWindowTitle(DisplayText(Map.WindowTitle)));
  if (!Map.HeadingText.empty()) lblQRVDevice->setText(DisplayText(Map.HeadingText));
}

void DiagWindow::BuildTabs() {
  const QSignalBlocker quiet(TabStrip1);
  while (TabStrip1->count() > 0) TabStrip1->removeTab(0);
  for (int k = 1; k <= Map.TabCount; ++k) {
    const QString name = DisplayText(Map.TabNames[k - 1]);
    const int added = TabStrip1->addTab(name);
    // The key is the page's name; repeated names are told apart by the index.
    TabStrip1->setTabData(added, QStringLiteral("%1#%2").arg(name).arg(k));
  }
  if (TabStrip1->count() > 0) TabStrip1->setCurrentIndex(0);
}

void DiagWindow::ConnectEvents() {
  connect(TabStrip1, &QTabBar::currentChanged, this, [this] { TabStrip1_Click(); });
  for (int row = 0; row < kRowsPerPage; ++row) {
    const auto r = static_cast<std::int16_t>(row);
    connect(cbRead[row], &QPushButton::clicked, this, [this, r] { cbRead_Click(r); });
    connect(cbWrite[row], &QPushButton::clicked, this, [this, r] { cbWrite_Click(r); });
    connect(tbRegdata[row], &HexEntryBox::keyTyped, this, [this, r](int key) { tbRegdata_KeyPress(r, key); });
    connect(tbRegdata[row], &HexEntryBox::pasted, this,
            [this, r](const QString& text) { tbRegdata_Paste(r, text); });
    connect(updnRegData[row], &QSpinBox::valueChanged, this, [this, r] { updnRegData_Change(r); });
    // The tooltip follows the value, however it changes.
    connect(tbRegdata[row], &QLineEdit::textChanged, this, [this, row] { UpdateFieldTip(row); });
  }
  for (int index = 0; index < kRowsPerPage * 8; ++index) {
    const auto i = static_cast<std::int16_t>(index);
    connect(cbRegToggleBit[index], &QPushButton::clicked, this, [this, i] { cbRegToggleBit_Click(i); });
  }
  connect(cbReadRegs, &QPushButton::clicked, this, &DiagWindow::cbReadRegs_Click);
  connect(cbWriteRegs, &QPushButton::clicked, this, &DiagWindow::cbWriteRegs_Click);
  connect(cmdClearLog, &QPushButton::clicked, this, &DiagWindow::cmdClearLog_Click);
  connect(cbReadAllRegs, &QPushButton::clicked, this, &DiagWindow::cbReadAllRegs_Click);
  connect(cbWriteAllRegs, &QPushButton::clicked, this, &DiagWindow::cbWriteAllRegs_Click);
  connect(cbQuit, &QPushButton::clicked, this, &DiagWindow::cbQuit_Click);
  connect(&Timer1, &QTimer::timeout, this, &DiagWindow::Timer1_Timer);
}

void DiagWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!activated_) {
    activated_ = true;
    // The driver start-up runs once the window is up and its event loop
    // turns, also where no window manager activates it (offscreen).
    QMetaObject::invokeMethod(this, &DiagWindow::Form_Activate, Qt::QueuedConnection);
  }
}

void DiagWindow::closeEvent(QCloseEvent* event) {
  if (!unloaded_) Form_Unload();
  event->accept();
}

void DiagWindow::ShowMessage(const QString& text) {
  // The caption is the application's title, the same for both programs. It
  // is not the toolkit's application display name: with one set, the window
  // manager would show it after every window title.
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("regdiag"), text, QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);  // a file system reason may hold any characters
  box.setObjectName(QStringLiteral("regdiagMessage"));
  box.exec();
}

const std::string& DiagWindow::LogContents() const { return txtLog->Contents(); }

}  // namespace regdiag
