// Register snapshots: the values of the chip's registers in a small CSV file
// that the window and regdiag-cli both read and write.
//
//   # comment lines, anywhere
//   address,name,value
//   0x12,SYS_CTRL,0x05
//
// The header comes first after any comment lines; then one line per
// register. Addresses and values are read as ReadByteNumber reads them
// (0x12, 18 or &H12); the name is informational: one that differs from the
// map's gives a warning, not an error. Blank lines are skipped; a control
// character other than a tab refuses the line. The file is
// UTF-8, written with LF line ends and read with LF or CR LF; a leading byte
// order mark is skipped. An address may appear once.
//
// Plain functions with no state: any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/map/register_map.h"

namespace regdiag {

inline constexpr std::string_view kSnapshotHeader = "address,name,value";

struct SnapshotEntry {
  std::uint8_t address = 0;
  std::string name;  // UTF-8
  std::uint8_t value = 0;
  int line = 0;  // where it was read; 0 for an entry not read from a file
};

// A remark about one line of a file (1 = the first line).
struct SnapshotNote {
  int line = 0;
  std::string text;
};

struct SnapshotRead {
  // In ascending address order; empty when the file is refused.
  std::vector<SnapshotEntry> entries;
  // Any error refuses the whole file.
  std::vector<SnapshotNote> errors;
  std::vector<SnapshotNote> warnings;
  [[nodiscard]] bool Refused() const { return !errors.empty(); }
};

// Checks a whole file's bytes; `map` gives the names to compare with.
[[nodiscard]] SnapshotRead ParseSnapshot(std::string_view bytes, const RegisterMap& map);

// Every register the map names, in address order, with its value from the
// cache and its name as written to a file.
[[nodiscard]] std::vector<SnapshotEntry> SnapshotOfCache(const RegisterMap& map,
                                                         const RegisterValueCache& cache);
// The file's bytes for these entries, in the order given.
[[nodiscard]] std::string SnapshotText(std::span<const SnapshotEntry> entries);
// The file's bytes for every register the map names, from the cache.
[[nodiscard]] std::string WriteSnapshot(const RegisterMap& map, const RegisterValueCache& cache);

// A map name as a snapshot holds it: UTF-8 (NameUtf8), with control
// characters, tabs and commas turned into blanks and no blanks at either end.
[[nodiscard]] std::string SnapshotName(std::string_view mapName);

// "line 7: <text>"
[[nodiscard]] std::string NoteText(const SnapshotNote& note);

}  // namespace regdiag
