// ParseRegisterMap on arbitrary bytes. Whatever the file holds, the map that
// comes out must keep the invariants the window relies on: every slot shows
// a register 0..255 or nothing, no filled row sits below an empty one, at
// most 32 pages and nothing named on a page past the last. The checks here
// are written out afresh rather than borrowed from the map code, so a fault
// in both cannot hide itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "map/register_map.h"

namespace {

using regdiag::kMaxPages;
using regdiag::kNoRegister;
using regdiag::kRowsPerPage;
using regdiag::RegisterMap;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "map invariant broken: %s\n", what.c_str());
  std::abort();
}

// A text taken from the file is part of one field of one line: it can hold
// neither a comma nor a line end.
bool IsFieldText(const std::string& text) {
  return text.find(',') == std::string::npos && text.find("\r\n") == std::string::npos;
}

// The number of lines whose first field is TABNAME (any case) and that have
// a second field: each starts a page, up to the limit.
int CountPageLines(std::string_view bytes) {
  static constexpr std::string_view kWord = "TABNAME";
  int count = 0;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    const std::string_view line = bytes.substr(0, end);
    if (line.find(',') == kWord.size()) {
      bool same = true;
      for (std::size_t i = 0; i < kWord.size(); ++i) {
        const char c = line[i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        same = same && upper == kWord[i];
      }
      if (same) ++count;
    }
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 2);
  }
  return count;
}

void CheckSlots(const RegisterMap& map) {
  for (int page = 0; page < kMaxPages; ++page) {
    const auto where = [page](int row) {
      return "page " + std::to_string(page) + " row " + std::to_string(row);
    };
    bool emptySeen = false;
    for (int row = 0; row < kRowsPerPage; ++row) {
      const int address = map.RowAddress[static_cast<std::size_t>(page)][static_cast<std::size_t>(row)];
      if (map.AddressAt(page, row) != address) Fail(where(row) + " reads differently through AddressAt");
      if (address == kNoRegister) {
        emptySeen = true;
        continue;
      }
      if (address < 0 || address > 255) Fail(where(row) + " holds " + std::to_string(address));
      if (emptySeen) Fail(where(row) + " is filled below an empty row");
      if (page >= map.TabCount) Fail(where(row) + " is filled on a page past TabCount");
    }
    const std::string& name = map.TabNames[static_cast<std::size_t>(page)];
    if (page >= map.TabCount && !name.empty()) Fail("page " + std::to_string(page) + " named past TabCount");
    if (!IsFieldText(name)) Fail("name of page " + std::to_string(page) + " is not one field");
  }
  // Outside the tables nothing is shown.
  if (map.AddressAt(-1, 0) != kNoRegister || map.AddressAt(kMaxPages, 0) != kNoRegister ||
      map.AddressAt(0, -1) != kNoRegister || map.AddressAt(0, kRowsPerPage) != kNoRegister) {
    Fail("AddressAt shows a register outside the tables");
  }
}

void CheckMap(const RegisterMap& map, std::string_view bytes) {
  if (map.TabCount < 0 || map.TabCount > kMaxPages) Fail("TabCount " + std::to_string(map.TabCount));
  const int pageLines = CountPageLines(bytes);
  if (map.TabCount != (pageLines < kMaxPages ? pageLines : kMaxPages)) {
    Fail("TabCount " + std::to_string(map.TabCount) + " for " + std::to_string(pageLines) + " TABNAME lines");
  }
  CheckSlots(map);
  for (std::size_t address = 0; address < map.RegisterNames.size(); ++address) {
    if (!IsFieldText(map.RegisterNames[address])) Fail("name of register " + std::to_string(address));
    for (const std::string& bit : map.BitNames[address]) {
      if (!IsFieldText(bit)) Fail("a bit name of register " + std::to_string(address));
    }
  }
  if (!IsFieldText(map.WindowTitle) || !IsFieldText(map.HeadingText))
    Fail("title or heading is not one field");
}

bool SameMap(const RegisterMap& a, const RegisterMap& b) {
  return a.TabNames == b.TabNames && a.TabCount == b.TabCount && a.RowAddress == b.RowAddress &&
         a.RegisterNames == b.RegisterNames && a.BitNames == b.BitNames && a.WindowTitle == b.WindowTitle &&
         a.HeadingText == b.HeadingText;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const RegisterMap map = regdiag::ParseRegisterMap(bytes);
  CheckMap(map, bytes);

  // A CR LF after the last line only ends it: the map stays the same. (After
  // a lone CR it would join that CR to the line instead.)
  if (bytes.empty() || bytes.back() != '\r') {
    if (!SameMap(map, regdiag::ParseRegisterMap(std::string(bytes) + "\r\n")))
      Fail("a closing CR LF changed the map");
  }
  return 0;
}
