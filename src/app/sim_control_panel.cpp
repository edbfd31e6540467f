#include "app/sim_control_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "backends/sim/sim_usb_library.h"

namespace regdiag {

namespace {

QPushButton* AddButton(QLayout* layout, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setAccessibleName(caption);
  layout->addWidget(button);
  return button;
}

}  // namespace

SimControlPanel::SimControlPanel(usb::SimUsbLibrary& library, QWidget* parent)
    : QWidget(parent, Qt::Window), library_(library) {
  setWindowTitle(tr("Simulated bridge"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);

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
  layout->addWidget(bench);

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
  layout->addWidget(faults);

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
