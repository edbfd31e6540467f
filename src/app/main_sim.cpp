// regdiag-sim: the same window on a simulated bridge with a virtual chip, and
// a small control panel to plug, unplug and inject faults by hand.
#include <QApplication>

#include "app/app_folder.h"
#include "app/sim_control_panel.h"
#include "backends/sim/sim_usb_library.h"
#include "window/diag_window.h"
#include "window/pictures.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // No application display name: the window manager would show it after the
  // map's title.
  QApplication::setApplicationName(QStringLiteral("regdiag-sim"));
  QApplication::setWindowIcon(regdiag::WindowIcon());

  regdiag::usb::SimUsbLibrary library;
  const int bridge = library.Plug();
  library.Bridge(bridge).LoadDemoValues();

  const std::unique_ptr<regdiag::DiagWindow> window = regdiag::MakeWindow(library);
  // The chip behaves as the map the window read says: read once, for both.
  library.FollowRules(regdiag::usb::ChipRulesOf(window->LoadedMap()));
  regdiag::SimControlPanel panel(library);
  window->show();
  panel.AttachTo(*window);
  return QApplication::exec();
}
