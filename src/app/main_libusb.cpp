// regdiag: the register window on real bridges, through libusb.
#include <QApplication>

#include "app/app_folder.h"
#include "backends/libusb/libusb_library.h"
#include "window/diag_window.h"
#include "window/pictures.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // No application display name: the window manager would show it after the
  // map's title.
  QApplication::setApplicationName(QStringLiteral("regdiag"));
  QApplication::setWindowIcon(regdiag::WindowIcon());

  regdiag::usb::LibusbLibrary library;
  const std::unique_ptr<regdiag::DiagWindow> window = regdiag::MakeWindow(library);
  window->show();
  return QApplication::exec();
}
