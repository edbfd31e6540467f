// Finding and reading tabdefs.csv from the program's own folder.
#pragma once

#include <filesystem>
#include <string>

#include "core/files/file_read.h"
#include "core/map/register_map.h"

namespace regdiag {

inline constexpr const char* kMapFileName = "tabdefs.csv";

// Reads <folder>/tabdefs.csv whole, by the rules of ReadFileWhole.
[[nodiscard]] FileRead ReadMapFile(const std::filesystem::path& folder);

// The texts of the two message boxes.
inline constexpr const char* kMapNotFoundMessage = "Configuration file (tabdefs.csv) not found.";
[[nodiscard]] std::string MapUnreadableMessage(const std::string& reason);

// True when the map names at least one register. A map that names none
// (an empty file, or one whose lines are all comments) is worth a word:
// "Register map FILE names no register."
[[nodiscard]] bool NamesAnyRegister(const RegisterMap& map);
[[nodiscard]] std::string MapNamesNoRegisterMessage(const std::string& file);

}  // namespace regdiag
