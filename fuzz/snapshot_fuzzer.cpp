// ParseSnapshot on arbitrary bytes. A file is refused whole or taken whole:
// refused, it gives no entries; taken, its entries stand in ascending address
// order, each address once, with names that are UTF-8 and hold no field or
// line separator, and what SnapshotText writes of them reads back the same.
// The checks are written out afresh rather than borrowed from the snapshot
// code.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/map/name_text.h"
#include "core/map/register_snapshot.h"

namespace {

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "snapshot invariant broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const regdiag::RegisterMap map = [] {
    regdiag::RegisterMap names;
    names.RegisterNames[0x01] = "SYS_CTRL";
    names.RegisterNames[0xFF] = "LAST\xE9";
    return names;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regdiag::SnapshotRead read = regdiag::ParseSnapshot(bytes, map);
  // Lines end at CR LF, LF or a lone CR.
  int lines = 1;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    ++lines;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  for (const auto& note : read.errors) Require(note.line >= 1 && note.line <= lines + 1, "error line");
  if (read.Refused()) {
    Require(read.entries.empty(), "a refused file gave entries");
    return 0;
  }
  const regdiag::SnapshotRead again = regdiag::ParseSnapshot(regdiag::SnapshotText(read.entries), map);
  Require(!again.Refused() && again.entries.size() == read.entries.size(),
          "written entries do not read back");
  for (std::size_t i = 0, previous = 0; i < read.entries.size(); previous = read.entries[i++].address + 1) {
    const regdiag::SnapshotEntry& entry = read.entries[i];
    const regdiag::SnapshotEntry& back = again.entries[i];
    Require(entry.address >= previous && entry.line >= 1 && entry.line <= lines,
            "entries out of order or lines");
    Require(regdiag::IsUtf8(entry.name) && entry.name.find_first_of(",\r\n") == std::string::npos, "name");
    Require(back.address == entry.address && back.value == entry.value && back.name == entry.name,
            "an entry reads back changed");
  }
  return 0;
}
