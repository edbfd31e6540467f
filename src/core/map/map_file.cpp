#include "core/map/map_file.h"

namespace regdiag {

FileRead ReadMapFile(const std::filesystem::path& folder) { return ReadFileWhole(folder / kMapFileName); }

std::string MapUnreadableMessage(const std::string& reason) {
  return std::string("Configuration file (tabdefs.csv) could not be read: ") + reason + ".";
}

}  // namespace regdiag
