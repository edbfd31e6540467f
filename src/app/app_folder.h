// The folder of the running program, where its register map lives.
#pragma once

#include <QCoreApplication>

#include <filesystem>

namespace regdiag {

inline std::filesystem::path AppFolder() {
  return {QCoreApplication::applicationDirPath().toStdString()};
}

}  // namespace regdiag
