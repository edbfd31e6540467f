// ParseRegisterMap on arbitrary bytes. Whatever the file holds, the map must
// keep what the window relies on: one page for each TABNAME line up to 32;
// every slot shows a register 0..255 or nothing, no filled row below an
// empty one and nothing past the last page; every text a single field. The
// checks are written out afresh rather than borrowed from the map code, so a
// fault in both cannot hide itself.
// One map is reused from input to input (building and freeing its 2,300
// texts was most of the cost); for one input in 64 it must equal a map
// parsed afresh, so nothing of an earlier input may stay behind in it.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/map/register_map.h"

namespace {

void Require(bool holds, const char* what, int where) {
  if (holds) return;
  std::fprintf(stderr, "map invariant broken: %s %d\n", what, where);
  std::abort();
}

bool IsField(const std::string& text) {
  return text.empty() || (text.find(',') == std::string::npos && text.find("\r\n") == std::string::npos);
}

// Lines whose first field is TABNAME, in any case, and that have a second.
int PageLines(std::string_view bytes) {
  int count = 0;
  for (std::size_t start = 0; start <= bytes.size();) {
    const std::size_t end = std::min(bytes.find("\r\n", start), bytes.size());
    const std::string_view head = bytes.substr(start, std::min<std::size_t>(end - start, 8));
    count += std::ranges::equal(head, std::string_view("TABNAME,"), [](char c, char k) {
      return std::toupper(static_cast<unsigned char>(c)) == k;
    });
    start = end + 2;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static regdiag::RegisterMapReader reader;
  const regdiag::RegisterMap& map = reader.Read(bytes);
  Require(map.TabCount == std::min(PageLines(bytes), regdiag::kMaxPages), "TabCount", map.TabCount);
  for (int page = 0; page < regdiag::kMaxPages; ++page) {
    bool empty = page >= map.TabCount;
    Require(!empty || map.TabNames[page].empty(), "named past TabCount: page", page);
    Require(IsField(map.TabNames[page]), "name not one field: page", page);
    for (int row = 0; row < regdiag::kRowsPerPage; ++row) {
      const int address = map.RowAddress[page][row];
      Require(address == regdiag::kNoRegister || (address >= 0 && address <= 255 && !empty),
              "a register outside 0..255, below an empty row or past TabCount: page", page);
      empty = empty || address == regdiag::kNoRegister;
    }
  }
  for (int address = 0; address < regdiag::kRegisterCount; ++address) {
    bool fields = IsField(map.RegisterNames[address]);
    for (const std::string& bit : map.BitNames[address]) fields = fields && IsField(bit);
    Require(fields, "name not one field: register", address);
  }
  Require(IsField(map.WindowTitle) && IsField(map.HeadingText), "title or heading not one field", 0);
  static unsigned runs = 0;
  if (++runs % 64 != 0) return 0;
  const regdiag::RegisterMap fresh = regdiag::ParseRegisterMap(bytes);
  Require(map.TabNames == fresh.TabNames && map.TabCount == fresh.TabCount &&
              map.RowAddress == fresh.RowAddress && map.RegisterNames == fresh.RegisterNames &&
              map.BitNames == fresh.BitNames && map.WindowTitle == fresh.WindowTitle &&
              map.HeadingText == fresh.HeadingText,
          "the reused map differs from a fresh one", 0);
  return 0;
}
