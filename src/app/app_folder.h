// The folder of the running program, where its register map lives, and the
// window made on the map the command line names.
#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>

#include "window/diag_window.h"

namespace regdiag {

inline std::filesystem::path AppFolder() { return {QCoreApplication::applicationDirPath().toStdString()}; }

// The file named by --map FILE or --map=FILE, as regdiag-cli takes it. Other
// arguments are left alone, as they always were.
inline std::optional<std::filesystem::path> MapOption(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QStringLiteral("--map") && i + 1 < arguments.size())
      return arguments[i + 1].toLocal8Bit().toStdString();
    if (arguments[i].startsWith(QStringLiteral("--map=")))
      return arguments[i].mid(6).toLocal8Bit().toStdString();
  }
  return std::nullopt;
}

// The window on `library`, reading the map that --map names, or else
// tabdefs.csv beside the program.
inline std::unique_ptr<DiagWindow> MakeWindow(usb::UsbLibrary& library) {
  if (const auto named = MapOption(QCoreApplication::arguments()))
    return std::make_unique<DiagWindow>(library, DiagWindow::MapFile{*named});
  return std::make_unique<DiagWindow>(library, AppFolder());
}

}  // namespace regdiag
