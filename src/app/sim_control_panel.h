// The control panel of the simulated bridge: plug and unplug bridges and
// inject faults by hand, to walk every path of the program without hardware.
#pragma once

#include <QWidget>

#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;

namespace regdiag {

namespace usb {
class SimUsbLibrary;
}

class DiagWindow;

// Where a panel of `panel` (its frame) goes next to a window whose frame is
// `window`, on a screen whose free area is `screen`: beside the window's
// right edge when the screen has room there, otherwise over the window's
// right edge; always whole on the screen when it fits at all.
[[nodiscard]] QPoint PanelPlace(const QRect& window, const QSize& panel, const QRect& screen);

class SimControlPanel : public QWidget {
  Q_OBJECT

 public:
  explicit SimControlPanel(usb::SimUsbLibrary& library, QWidget* parent = nullptr);

  // Shows the panel at its place beside `window` and offers "Simulator
  // Panel" in the window's page menu to show it again once closed; the
  // panel closes with the window. Either may go first.
  void AttachTo(DiagWindow& window);
  // Shows the panel at its place beside `window`, or brings it forward.
  void ShowBeside(const QWidget& window);

 private:
  QGroupBox* BuildBench();
  QGroupBox* BuildFaults();
  void PlugInto(std::optional<int>& slot);
  void UnplugFrom(std::optional<int>& slot);
  void Refresh();

  usb::SimUsbLibrary& library_;
  std::optional<int> first_;
  std::optional<int> second_;
  QComboBox* statusChoice_ = nullptr;
  QLabel* state_ = nullptr;
};

}  // namespace regdiag
