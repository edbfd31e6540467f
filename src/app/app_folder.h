// The folder of the running program, where its register map lives.
#pragma once

#include <QCoreApplication>

#include <filesystem>

namespace regdiag {

inline std::filesystem::path AppFolder() {
  return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace regdiag
