#include "core/map/register_map.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "core/map/address_number.h"
#include "core/text/lines.h"

namespace regdiag {
namespace {

// BITS uses the most fields of any keyword: the keyword and eight names.
constexpr std::size_t kMaxUsedFields = 9;

bool IsRegisterAddress(int address) { return address >= 0 && address < kRegisterCount; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsKeyword(std::string_view field, std::string_view keyword) {
  if (field.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (UpperAscii(field[i]) != keyword[i]) return false;
  }
  return true;
}

// The first fields of a line, cut at every comma. Only as many as any
// keyword uses are kept; count tells how many of those the line has.
// Views into the file's bytes, so no line costs a heap allocation.
struct LineFields {
  std::array<std::string_view, kMaxUsedFields> field{};
  std::size_t count = 0;

  explicit LineFields(std::string_view line) {
    while (count < kMaxUsedFields) {
      const std::size_t comma = line.find(',');
      field[count++] = line.substr(0, comma);
      if (comma == std::string_view::npos) break;
      line.remove_prefix(comma + 1);
    }
  }
};

class MapParser {
 public:
  MapParser() {
    for (auto& page : map_.RowAddress) page.fill(kNoRegister);
  }

  void ReadLine(std::string_view line);
  // A file without a TABNAME gives no pages and every row empty; the window
  // copes with that.
  RegisterMap Finish() {
    map_.TabCount = static_cast<std::int16_t>(page_ + 1);
    return std::move(map_);
  }

 private:
  void StartPage(std::string_view name);
  void AddRegister(std::string_view addressField, std::string_view name);
  void NameBits(const LineFields& fields);

  RegisterMap map_;
  int page_ = -1;
  int row_ = 0;
  // Set once a TABNAME had to be ignored for want of pages.
  bool pagesFull_ = false;
  // Address of the latest REG line; empty when it was not a 16-bit number.
  std::optional<int> current_ = 0;
};

void MapParser::ReadLine(std::string_view line) {
  const LineFields fields(line);
  const std::string_view keyword = fields.field[0];
  // A line shorter than its keyword needs is ignored whole: a short REG
  // leaves the current register as it was.
  if (IsKeyword(keyword, "TABNAME")) {
    if (fields.count >= 2) StartPage(fields.field[1]);
  } else if (IsKeyword(keyword, "REG")) {
    if (fields.count >= 3) AddRegister(fields.field[1], fields.field[2]);
  } else if (IsKeyword(keyword, "BITS")) {
    if (fields.count >= 9) NameBits(fields);
  } else if (IsKeyword(keyword, "TITLEBAR")) {
    if (fields.count >= 2 && !fields.field[1].empty()) map_.WindowTitle = fields.field[1];
  } else if (IsKeyword(keyword, "TITLE")) {
    if (fields.count >= 2 && !fields.field[1].empty()) map_.HeadingText = fields.field[1];
  }
  // Any other keyword makes the line a comment.
}

void MapParser::StartPage(std::string_view name) {
  // Past the 32nd page a TABNAME is ignored, and the registers after it are
  // named but shown on no page rather than added to the last one.
  if (page_ + 1 >= kMaxPages) {
    pagesFull_ = true;
    return;
  }
  ++page_;
  row_ = 0;
  // Repeated page names stay as they are; the window keeps its tabs apart.
  map_.TabNames[static_cast<std::size_t>(page_)] = name;
}

void MapParser::AddRegister(std::string_view addressField, std::string_view name) {
  // An address that does not round into 16 bits (or is not finite) is as
  // out of range as 300: the line names nothing and a BITS after it is lost.
  current_ = RoundAddressToInt16(ReadAddressNumber(addressField));
  if (!current_ || !IsRegisterAddress(*current_)) return;
  const auto address = static_cast<std::size_t>(*current_);
  map_.RegisterNames[address] = name;
  // Before the first TABNAME there is no page to show the register on.
  if (page_ < 0 || pagesFull_) return;
  map_.RowAddress[static_cast<std::size_t>(page_)][static_cast<std::size_t>(row_)] =
      static_cast<std::int16_t>(address);
  // The last row keeps being overwritten: it shows the page's last REG line.
  if (row_ < kRowsPerPage - 1) ++row_;
}

void MapParser::NameBits(const LineFields& fields) {
  // After an ignored REG there is no register to give the names to.
  if (!current_ || !IsRegisterAddress(*current_)) return;
  auto& bits = map_.BitNames[static_cast<std::size_t>(*current_)];
  for (std::size_t k = 1; k <= kBitsPerRegister; ++k) bits[kBitsPerRegister - k] = fields.field[k];
}

}  // namespace

std::int16_t RegisterMap::AddressAt(int page, int row) const {
  if (page < 0 || page >= kMaxPages || row < 0 || row >= kRowsPerPage) return kNoRegister;
  return RowAddress[static_cast<std::size_t>(page)][static_cast<std::size_t>(row)];
}

RegisterMap ParseRegisterMap(std::string_view fileBytes) {
  MapParser parser;
  // A line ends at CR LF, LF or a lone CR. There is no limit on the number
  // of lines.
  LineSplitter lines(fileBytes);
  while (const std::optional<std::string_view> line = lines.Next()) {
    if (!line->empty()) parser.ReadLine(*line);
  }
  return parser.Finish();
}

}  // namespace regdiag
