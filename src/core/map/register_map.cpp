#include "core/map/register_map.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "core/map/address_number.h"

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

// Fills a map whose rows are all empty and whose texts are all empty. The
// addresses it names are noted in `named`.
class MapParser {
 public:
  MapParser(RegisterMap& map, std::vector<std::uint8_t>& named) : map_(map), named_(named) {}

  void ReadLine(std::string_view line);
  // A file without a TABNAME gives no pages and every row empty; the window
  // copes with that.
  void Finish() { map_.TabCount = static_cast<std::int16_t>(page_ + 1); }

 private:
  void StartPage(std::string_view name);
  void AddRegister(std::string_view addressField, std::string_view name);
  void NameBits(const LineFields& fields);

  RegisterMap& map_;
  std::vector<std::uint8_t>& named_;
  int page_ = -1;
  int row_ = 0;
  // Set once a TABNAME had to be ignored for want of pages.
  bool pagesFull_ = false;
  // Address of the latest REG line; empty when it was not a 16-bit number.
  std::optional<int> current_ = 0;
};

enum class Keyword { None, TabName, Reg, Bits, TitleBar, Title };

// The keyword a line's first field names; None makes the line a comment.
// Each keyword has a length of its own.
Keyword KeywordOf(std::string_view field) {
  switch (field.size()) {
    case 7:
      return IsKeyword(field, "TABNAME") ? Keyword::TabName : Keyword::None;
    case 3:
      return IsKeyword(field, "REG") ? Keyword::Reg : Keyword::None;
    case 4:
      return IsKeyword(field, "BITS") ? Keyword::Bits : Keyword::None;
    case 8:
      return IsKeyword(field, "TITLEBAR") ? Keyword::TitleBar : Keyword::None;
    case 5:
      return IsKeyword(field, "TITLE") ? Keyword::Title : Keyword::None;
    default:
      return Keyword::None;
  }
}

void MapParser::ReadLine(std::string_view line) {
  const Keyword keyword = KeywordOf(line.substr(0, line.find(',')));
  if (keyword == Keyword::None) return;
  const LineFields fields(line);
  // A line shorter than its keyword needs is ignored whole: a short REG
  // leaves the current register as it was.
  switch (keyword) {
    case Keyword::TabName:
      if (fields.count >= 2) StartPage(fields.field[1]);
      break;
    case Keyword::Reg:
      if (fields.count >= 3) AddRegister(fields.field[1], fields.field[2]);
      break;
    case Keyword::Bits:
      if (fields.count >= 9) NameBits(fields);
      break;
    case Keyword::TitleBar:
      if (fields.count >= 2 && !fields.field[1].empty()) map_.WindowTitle = fields.field[1];
      break;
    case Keyword::Title:
      if (fields.count >= 2 && !fields.field[1].empty()) map_.HeadingText = fields.field[1];
      break;
    case Keyword::None:
      break;
  }
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
  named_.push_back(static_cast<std::uint8_t>(address));
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
  named_.push_back(static_cast<std::uint8_t>(*current_));  // a BITS line before any REG names register 0's
  for (std::size_t k = 1; k <= kBitsPerRegister; ++k) bits[kBitsPerRegister - k] = fields.field[k];
}

void Parse(std::string_view fileBytes, RegisterMap& map, std::vector<std::uint8_t>& named) {
  for (auto& page : map.RowAddress) page.fill(kNoRegister);
  MapParser parser(map, named);
  // Only CR LF ends a line; a lone CR or LF is part of the line. There is no
  // limit on the number of lines.
  while (!fileBytes.empty()) {
    const std::size_t end = fileBytes.find("\r\n");
    const std::string_view line = fileBytes.substr(0, end);
    if (!line.empty()) parser.ReadLine(line);
    if (end == std::string_view::npos) break;
    fileBytes.remove_prefix(end + 2);
  }
  parser.Finish();
}

}  // namespace

std::int16_t RegisterMap::AddressAt(int page, int row) const {
  if (page < 0 || page >= kMaxPages || row < 0 || row >= kRowsPerPage) return kNoRegister;
  return RowAddress[static_cast<std::size_t>(page)][static_cast<std::size_t>(row)];
}

RegisterMap ParseRegisterMap(std::string_view fileBytes) {
  RegisterMap map;
  std::vector<std::uint8_t> named;
  Parse(fileBytes, map, named);
  return map;
}

const RegisterMap& RegisterMapReader::Read(std::string_view fileBytes) {
  // Pages are named only up to TabCount, registers and bits only where noted.
  for (int page = 0; page < map_.TabCount; ++page) map_.TabNames[static_cast<std::size_t>(page)].clear();
  map_.TabCount = 0;
  for (const std::uint8_t address : named_) {
    map_.RegisterNames[address].clear();
    for (std::string& bit : map_.BitNames[address]) bit.clear();
  }
  named_.clear();
  map_.WindowTitle.clear();
  map_.HeadingText.clear();
  Parse(fileBytes, map_, named_);
  return map_;
}

}  // namespace regdiag
