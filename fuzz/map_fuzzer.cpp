// ParseRegisterMap on arbitrary bytes. Whatever the file holds, the map must
// keep what the window relies on: one page for each TABNAME line up to 32;
// every slot shows a register 0..255 or nothing, no filled row below an
// empty one and nothing past the last page; every text a single field; the
// fields of a register within its eight bits, apart, and their values within them. The
// checks are written out afresh rather than borrowed from the map code, so a
// fault in both cannot hide itself.
// One map reader is reused from input to input (building and freeing a map's
// 2,300 texts was most of the cost); for one input in 256 its map must equal
// one parsed afresh, so nothing of an earlier input may stay behind in it.
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
  return std::ranges::none_of(text, [](char c) { return c == ',' || c == '\r' || c == '\n'; });
}

// Every text of a register: its name and its bit names. Most of a map's
// 2,300 texts are empty and cost a size test.
bool RegisterTextsAreFields(const regdiag::RegisterMap& map, int address) {
  bool fields = map.RegisterNames[address].empty() || IsField(map.RegisterNames[address]);
  for (const std::string& bit : map.BitNames[address]) fields = fields && (bit.empty() || IsField(bit));
  return fields;
}

// Lines whose first field is TABNAME, in any case, and that have a second.
int PageLines(std::string_view bytes) {
  int count = 0;
  regdiag::LineSplitter lines(bytes);
  constexpr std::string_view kPage = "TABNAME,";
  while (const std::optional<std::string_view> line = lines.Next()) {
    const std::string_view head = line->substr(0, kPage.size());
    count += std::ranges::equal(head, kPage, [](char c, char k) {
      return std::toupper(static_cast<unsigned char>(c)) == k;
    }) ? 1 : 0;
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
    Require(RegisterTextsAreFields(map, address), "name not one field: register", address);
    Require(map.RulesIndex[address] <= map.RulesList.size(), "rules index past the list: register", address);
  }
  // Every register's rules are in the list; the plain ones have no fields.
  for (std::size_t index = 0; index < map.RulesList.size(); ++index) {
    std::uint8_t used = 0;
    for (const regdiag::RegisterField& field : map.RulesList[index].fields) {
      Require(field.lsb <= field.msb && field.msb <= 7 && (used & field.Mask()) == 0 && IsField(field.name),
              "a field outside its register or over another: rules", static_cast<int>(index));
      used |= field.Mask();
      for (const auto& named : field.values)
        Require(named.value <= field.MaxValue() && IsField(named.label), "a value outside its field",
                static_cast<int>(index));
    }
  }
  Require(IsField(map.WindowTitle) && IsField(map.HeadingText), "title or heading not one field", 0);
  static unsigned runs = 0;
  if (++runs % 256 == 0)
    Require(map == regdiag::ParseRegisterMap(bytes), "the reused map differs from a fresh one", 0);
  // Emptied before the run ends, so that the rules and notes this input
  // made are freed within its own run: libFuzzer runs an input a second
  // time, looking for a leak, whenever it allocates more than it frees.
  reader.Read({});
  return 0;
}
