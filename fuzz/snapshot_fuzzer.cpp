// ParseSnapshot on arbitrary bytes. A file is refused whole or taken whole:
// refused, it gives no entries; taken, its entries stand in ascending address
// order, each address once, with names that are UTF-8 and hold no field or
// line separator, and what SnapshotText writes of them reads back the same
// with no error. The checks are written out afresh rather than borrowed from
// the snapshot code.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "map/name_text.h"
#include "map/register_snapshot.h"

namespace {

using regdiag::SnapshotEntry;
using regdiag::SnapshotRead;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "snapshot invariant broken: %s\n", what.c_str());
  std::abort();
}

regdiag::RegisterMap SmallMap() {
  regdiag::RegisterMap map;
  map.RegisterNames[0x01] = "SYS_CTRL";
  map.RegisterNames[0x12] = "BUCK2_CTRL";
  map.RegisterNames[0xFF] = "LAST\xE9";
  return map;
}

void CheckTaken(const SnapshotRead& read, int lines) {
  int previous = -1;
  for (const SnapshotEntry& entry : read.entries) {
    if (static_cast<int>(entry.address) <= previous) Fail("entries out of order or repeated");
    previous = entry.address;
    if (entry.line < 1 || entry.line > lines) Fail("entry line " + std::to_string(entry.line));
    if (!regdiag::IsUtf8(entry.name)) Fail("name is not UTF-8");
    if (entry.name.find_first_of(",\r\n") != std::string::npos) Fail("name holds a separator");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const regdiag::RegisterMap map = SmallMap();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const SnapshotRead read = regdiag::ParseSnapshot(bytes, map);
  int lines = 1;
  for (const char c : bytes) lines += c == '\n' ? 1 : 0;
  for (const auto& note : read.errors) {
    if (note.line < 1 || note.line > lines + 1) Fail("error line " + std::to_string(note.line));
  }
  if (read.Refused()) {
    if (!read.entries.empty()) Fail("a refused file gave entries");
    return 0;
  }
  CheckTaken(read, lines);
  const SnapshotRead again = regdiag::ParseSnapshot(regdiag::SnapshotText(read.entries), map);
  if (again.Refused() || again.entries.size() != read.entries.size())
    Fail("written entries do not read back");
  for (std::size_t i = 0; i < read.entries.size(); ++i) {
    const SnapshotEntry& a = read.entries[i];
    const SnapshotEntry& b = again.entries[i];
    if (a.address != b.address || a.value != b.value || a.name != b.name) Fail("an entry reads back changed");
  }
  return 0;
}
