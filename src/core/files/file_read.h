// Reading a whole file: the register map, a snapshot, a saved log. Every
// file the programs read comes through here, and so does the text that says
// why one could not be read.
//
// Plain functions with no state: any thread.
#pragma once

#include <filesystem>
#include <string>

namespace regdiag {

struct FileRead {
  enum class Outcome { Loaded, NotFound, Unreadable };
  Outcome outcome = Outcome::NotFound;
  std::string bytes;   // the whole file when Loaded
  std::string reason;  // the system's reason when Unreadable

  // Why the file was not loaded: "no such file" or the system's reason;
  // empty when it was.
  [[nodiscard]] std::string Problem() const;
};

// Reads the file whole. A path that is missing or is not a regular file
// counts as not found; a FIFO is never opened.
[[nodiscard]] FileRead ReadFileWhole(const std::filesystem::path& path);

// The system's text for an errno value (strerror's, without its shared buffer).
[[nodiscard]] std::string SystemReason(int error);

}  // namespace regdiag
