// Finding and reading tabdefs.csv from the program's own folder.
#pragma once

#include <filesystem>
#include <string>

namespace regdiag {

inline constexpr const char* kMapFileName = "tabdefs.csv";

struct MapFileRead {
  enum class Outcome { Loaded, NotFound, Unreadable };
  Outcome outcome = Outcome::NotFound;
  std::string bytes;   // the whole file when Loaded
  std::string reason;  // why it could not be read when Unreadable
};

// Reads <folder>/tabdefs.csv whole. A path that is missing or is not a
// regular file counts as not found.
[[nodiscard]] MapFileRead ReadMapFile(const std::filesystem::path& folder);
// Reads any one file whole by the same rules (a map named on the command
// line, a snapshot, a saved log).
[[nodiscard]] MapFileRead ReadFileWhole(const std::filesystem::path& path);

// The texts of the two message boxes.
inline constexpr const char* kMapNotFoundMessage = "Configuration file (tabdefs.csv) not found.";
[[nodiscard]] std::string MapUnreadableMessage(const std::string& reason);

}  // namespace regdiag
