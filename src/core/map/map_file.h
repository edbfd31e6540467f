// Finding and reading tabdefs.csv from the program's own folder.
#pragma once

#include <filesystem>
#include <string>

#include "core/files/file_read.h"

namespace regdiag {

inline constexpr const char* kMapFileName = "tabdefs.csv";

// Reads <folder>/tabdefs.csv whole, by the rules of ReadFileWhole.
[[nodiscard]] FileRead ReadMapFile(const std::filesystem::path& folder);

// The texts of the two message boxes.
inline constexpr const char* kMapNotFoundMessage = "Configuration file (tabdefs.csv) not found.";
[[nodiscard]] std::string MapUnreadableMessage(const std::string& reason);

}  // namespace regdiag
