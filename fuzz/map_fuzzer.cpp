// ParseRegisterMap on arbitrary bytes. Whatever the file holds, the map must
// keep what the window relies on: one page for each TABNAME line up to 32;
// every slot shows a register 0..255 or nothing, no filled row below an
// empty one and nothing past the last page; every text a single field; the
// fields of a register within its eight bits, apart, and their values within them. The
// checks are written out afresh rather than borrowed from the map code, so a
// fault in both cannot hide itself.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/map/register_map.h"
#include "core/text/lines.h"

namespace {

void Require(bool holds, const char* what, int where) {
  if (holds) return;
  std::fprintf(stderr, "map invariant broken: %s %d\n", what, where);
  std::abort();
}

bool IsField(const std::string& text) {
  return text.find_first_of(",\r\n") == std::string::npos;
}

// Lines whose first field is TABNAME, in any case, and that have a second.
int PageLines(std::string_view bytes) {
  int count = 0;
  regdiag::LineSplitter lines(bytes);
  while (const std::optional<std::string_view> piece = lines.Next()) {
    std::string line(*piece);
    for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    count += line.starts_with("TABNAME,") ? 1 : 0;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regdiag::RegisterMap map = regdiag::ParseRegisterMap(bytes);
  Require(map.TabCount == std::min(PageLines(bytes), regdiag::kMaxPages), "TabCount", map.TabCount);
  for (int page = 0; page < regdiag::kMaxPages; ++page) {
    bool empty = page >= map.TabCount;
    Require(!empty || map.TabNames[page].empty(), "named past TabCount: page", page);
    Require(IsField(map.TabNames[page]), "name not one field: page", page);
    for (int row = 0; row < regdiag::kRowsPerPage; ++row) {
      const int address = map.AddressAt(page, row);
      Require(address == regdiag::kNoRegister || (address >= 0 && address <= 255 && !empty),
              "a register outside 0..255, below an empty row or past TabCount: page", page);
      empty = empty || address == regdiag::kNoRegister;
    }
  }
  for (int address = 0; address < regdiag::kRegisterCount; ++address) {
    Require(IsField(map.RegisterNames[address]) && std::ranges::all_of(map.BitNames[address], IsField),
            "name not one field: register", address);
    std::uint8_t used = 0;
    for (const regdiag::RegisterField& field : map.RulesOf(address).fields) {
      Require(field.lsb <= field.msb && field.msb <= 7 && (used & field.Mask()) == 0 && IsField(field.name),
              "a field outside its register or over another: register", address);
      used |= field.Mask();
      for (const auto& named : field.values)
        Require(named.value <= field.MaxValue() && IsField(named.label), "a value outside its field",
                address);
    }
  }
  Require(IsField(map.WindowTitle) && IsField(map.HeadingText), "title or heading not one field", 0);
  return 0;
}
