#include "core/map/map_file.h"

#include <algorithm>

namespace regdiag {

FileRead ReadMapFile(const std::filesystem::path& folder) { return ReadFileWhole(folder / kMapFileName); }

std::string MapUnreadableMessage(const std::string& reason) {
  return std::string("Configuration file (tabdefs.csv) could not be read: ") + reason + ".";
}

bool NamesAnyRegister(const RegisterMap& map) {
  return std::ranges::any_of(map.RegisterNames, [](const std::string& name) { return !name.empty(); });
}

std::string MapNamesNoRegisterMessage(const std::string& file) {
  return "Register map " + file + " names no register.";
}

}  // namespace regdiag
