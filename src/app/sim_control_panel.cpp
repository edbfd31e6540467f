#include "app/sim_control_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "backends/sim/sim_usb_library.h"
#include "window/diag_window.h"

namespace regdiag {

namespace {

// Between the window and the panel beside it.
constexpr int kPanelGap = 8;

QPushButton* AddButton(QLayout* layout, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setAccessibleName(caption);
  layout->addWidget(button);
  return button;
}

}  // namespace

SimControlPanel::SimControlPanel(usb::SimUsbLibrary& library, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      library_(library) {
  setWindowTitle(tr("Simulated bridge"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  // Its size is its contents', as the window's is fixed: neither offers to
  // be maximized.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(BuildBench());
  layout->addWidget(BuildFaults());
  state_ = new QLabel;
  layout->addWidget(state_);
  const auto plugged = library_.PluggedBridges();
  if (!plugged.empty()) first_ = plugged.front();
  // The held bridge changes when the window handles a notification.
  auto* refresh = new QTimer(this);
  connect(refresh, &QTimer::timeout, this, &SimControlPanel::Refresh);
  refresh->start(250);
  Refresh();
}

QPoint PanelPlace(const QRect& window, const QSize& panel, const QRect& screen) {
  int x = window.right() + 1 + kPanelGap;
  if (x + panel.width() > screen.right() + 1) x = window.right() + 1 - panel.width();
  // Whole on the screen: the right and bottom edges first, then the left
  // and top ones, which win for a panel larger than the screen.
  x = std::max(std::min(x, screen.right() + 1 - panel.width()), screen.left());
  const int y = std::max(std::min(window.top(), screen.bottom() + 1 - panel.height()), screen.top());
  return {x, y};
}

void SimControlPanel::AttachTo(DiagWindow& window) {
  auto* again = new QAction(tr("Simulator Panel"), &window);
  connect(again, &QAction::triggered, this, [this, &window] { ShowBeside(window); });
  window.AddPageAction(again);
  connect(&window, &QObject::destroyed, this, &QWidget::close);
  ShowBeside(window);
}

void SimControlPanel::ShowBeside(const QWidget& window) {
  if (!isVisible()) {
    // Before it is shown the panel has no frame yet; the window's frame
    // stands for it.
    adjustSize();
    const QSize frame = size() + (window.frameGeometry().size() - window.size());
    const QRect screen = window.screen()->availableGeometry();
    move(PanelPlace(window.frameGeometry(), frame, screen));
  }
  show();
  raise();
  activateWindow();
}

QGroupBox* SimControlPanel::BuildBench() {
  auto* bench = new QGroupBox(tr("Bridges"));
  auto* benchLayout = new QVBoxLayout(bench);
  connect(AddButton(benchLayout, tr("Plug in bridge")), &QPushButton::clicked, this,
          [this] { PlugInto(first_); });
  connect(AddButton(benchLayout, tr("Unplug bridge")), &QPushButton::clicked, this,
          [this] { UnplugFrom(first_); });
  connect(AddButton(benchLayout, tr("Plug in a second bridge")), &QPushButton::clicked, this,
          [this] { PlugInto(second_); });
  connect(AddButton(benchLayout, tr("Unplug the second bridge")), &QPushButton::clicked, this,
          [this] { UnplugFrom(second_); });
  // The next bridge plugged in holds a reply from before it is claimed.
  connect(AddButton(benchLayout, tr("Leave a reply waiting")), &QPushButton::clicked, this,
          [this] { library_.LeaveReplyAtNextPlug(); });
  auto* noEndpoints = new QCheckBox(tr("Bridges plugged in next offer no endpoints"));
  connect(noEndpoints, &QCheckBox::toggled, this, [this](bool on) { library_.SetNoEndpoints(on); });
  benchLayout->addWidget(noEndpoints);
  return bench;
}

QGroupBox* SimControlPanel::BuildFaults() {
  auto* faults = new QGroupBox(tr("Faults on the next transfer"));
  auto* faultLayout = new QVBoxLayout(faults);
  statusChoice_ = new QComboBox;
  statusChoice_->setAccessibleName(tr("Status byte"));
  for (const auto& [text, value] : {std::pair{"0x3F (success, low bits set)", 0x3F},
                                    {"0x40 (no acknowledge)", 0x40},
                                    {"0x7F (no acknowledge)", 0x7F},
                                    {"0x80 (general I2C error)", 0x80},
                                    {"0xC0 (general I2C error)", 0xC0}}) {
    statusChoice_->addItem(QString::fromLatin1(text), value);
  }
  faultLayout->addWidget(statusChoice_);
  connect(AddButton(faultLayout, tr("Force the next status byte")), &QPushButton::clicked, this, [this] {
    library_.ForceNextStatusByte(static_cast<std::uint8_t>(statusChoice_->currentData().toInt()));
  });
  connect(AddButton(faultLayout, tr("Fail the next transfer")), &QPushButton::clicked, this,
          [this] { library_.FailNextTransfer(); });
  connect(AddButton(faultLayout, tr("Time out the next transfer")), &QPushButton::clicked, this,
          [this] { library_.TimeOutNextTransfer(); });
  connect(AddButton(faultLayout, tr("Cut the next reply short")), &QPushButton::clicked, this,
          [this] { library_.ShortenNextReply(1); });
  connect(AddButton(faultLayout, tr("Hang the next transfer")), &QPushButton::clicked, this,
          [this] { library_.HangNextTransfer(); });
  connect(AddButton(faultLayout, tr("Answer the next read late")), &QPushButton::clicked, this,
          [this] { library_.AnswerNextReadLate(); });
  auto* padded = new QCheckBox(tr("Pad replies to a full packet"));
  connect(padded, &QCheckBox::toggled, this, [this](bool on) { library_.SetPadReplies(on); });
  faultLayout->addWidget(padded);
  return faults;
}

void SimControlPanel::PlugInto(std::optional<int>& slot) {
  if (slot) return;
  slot = library_.Plug();
  library_.Bridge(*slot).LoadDemoValues();
  Refresh();
}

void SimControlPanel::UnplugFrom(std::optional<int>& slot) {
  if (!slot) return;
  library_.Unplug(*slot);
  slot.reset();
  Refresh();
}

void SimControlPanel::Refresh() {
  const auto held = library_.HeldBridge();
  const auto describe = [&](const std::optional<int>& id) {
    if (!id) return tr("unplugged");
    return held == id ? tr("plugged in, held") : tr("plugged in");
  };
  state_->setText(tr("Bridge: %1\nSecond bridge: %2").arg(describe(first_), describe(second_)));
}

}  // namespace regdiag
