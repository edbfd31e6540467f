// Reading a file: the register map, a snapshot, a saved log. Every file the
// programs read comes through here, and so does the text that says why one
// could not be read.
//
// Limits, far above any real file: a map or a snapshot is read whole only
// up to 16 MiB (kMostFileBytes), and a file that says it is larger is
// refused before a byte is read; a log is read line by line, each line up to
// 64 KiB (kMostLineBytes), in bounded memory. A FIFO is read as a stream, up
// to the same limits. A folder is refused as "is a directory", a device or a
// socket as "not a regular file": they are never opened.
//
// Plain functions with no state: any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace regdiag {

inline constexpr std::size_t kMostFileBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMostLineBytes = std::size_t{64} << 10;

struct FileRead {
  enum class Outcome { Loaded, NotFound, Unreadable };
  Outcome outcome = Outcome::NotFound;
  std::string bytes;   // the whole file when Loaded by ReadFileWhole
  std::string reason;  // why, when Unreadable

  // Why the file was not loaded: "no such file" or the reason; empty when
  // it was.
  [[nodiscard]] std::string Problem() const;
};

// Reads the file whole, up to `most` bytes (a register description may be
// larger than a map: up to 256 MiB).
[[nodiscard]] FileRead ReadFileWhole(const std::filesystem::path& path, std::size_t most = kMostFileBytes);

// Gives each line of the file to `line`, without its end (CR LF, LF or CR),
// and keeps none of them; a line over kMostLineBytes ends the reading as
// Unreadable ("line 12 is longer than 64 KiB").
[[nodiscard]] FileRead ReadFileLines(const std::filesystem::path& path,
                                     const std::function<void(std::string_view)>& line);

// The system's text for an errno value (strerror's, without its shared buffer).
[[nodiscard]] std::string SystemReason(int error);

}  // namespace regdiag
