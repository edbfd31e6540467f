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

class SimControlPanel : public QWidget {
  Q_OBJECT

 public:
  explicit SimControlPanel(usb::SimUsbLibrary& library, QWidget* parent = nullptr);

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
