#include "core/map/register_map.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/map/address_number.h"
#include "core/text/ascii.h"
#include "core/text/lines.h"
#include "core/map/rules_reader.h"

namespace regdiag {
namespace {

// BITS uses the most fields of any keyword: the keyword and eight names.
constexpr std::size_t kMaxUsedFields = 9;

bool IsRegisterAddress(int address) { return address >= 0 && address < kRegisterCount; }

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

enum class Keyword { None, TabName, Reg, Bits, TitleBar, Title, Access, Reset, Field };

// The keyword a line's first field names; None makes the line a comment.
// Looked up by its length first, so that most comment lines cost one switch.
Keyword KeywordOf(std::string_view field) {
  switch (field.size()) {
    case 3:
      return IsKeyword(field, "REG") ? Keyword::Reg : Keyword::None;
    case 4:
      return IsKeyword(field, "BITS") ? Keyword::Bits : Keyword::None;
    case 5:
      if (IsKeyword(field, "TITLE")) return Keyword::Title;
      if (IsKeyword(field, "RESET")) return Keyword::Reset;
      return IsKeyword(field, "FIELD") ? Keyword::Field : Keyword::None;
    case 6:
      return IsKeyword(field, "ACCESS") ? Keyword::Access : Keyword::None;
    case 7:
      return IsKeyword(field, "TABNAME") ? Keyword::TabName : Keyword::None;
    case 8:
      return IsKeyword(field, "TITLEBAR") ? Keyword::TitleBar : Keyword::None;
    default:
      return Keyword::None;
  }
}

// Fills a map whose rows are all empty, whose texts are all empty and which
// has no rules and no skipped lines. Every address whose names or rules it
// fills is noted once in `named`, so that a reader can empty just those again.
class MapParser {
 public:
  MapParser(RegisterMap& map, std::vector<std::uint8_t>& named) : map_(map), named_(named) {}

  // Every piece of the file between line ends, empty ones included, so
  // that the lines are counted as a person counts them.
  void ReadLine(std::string_view line);
  // A file without a TABNAME gives no pages and every row empty; the window
  // copes with that.
  void Finish();

 private:
  void StartPage(std::string_view name);
  void AddRegister(std::string_view addressField, std::string_view name);
  void NameBits(const LineFields& fields);
  // ACCESS, RESET and FIELD, which belong to the current register.
  void ReadRule(Keyword keyword, std::string_view line);
  // Needs at least `needed` fields: else the line is skipped.
  bool Has(const LineFields& fields, std::size_t needed);
  void Skip(std::string reason) { map_.SkippedLines.push_back({line_, std::move(reason)}); }
  void Note(std::uint8_t address) {
    if (noted_[address]) return;
    noted_.set(address);
    named_.push_back(address);
  }

  RegisterMap& map_;
  std::vector<std::uint8_t>& named_;
  std::bitset<kRegisterCount> noted_;
  int page_ = -1;
  int row_ = 0;
  // Set once a TABNAME had to be ignored for want of pages.
  bool pagesFull_ = false;
  // Address of the latest REG line; empty when it was not a 16-bit number.
  std::optional<int> current_ = 0;
  int line_ = 0;
  RulesReader rules_;
  // The addresses a BITS line named: they take no bit names from fields.
  std::array<bool, kRegisterCount> bitsGiven_{};
};

void MapParser::ReadLine(std::string_view line) {
  ++line_;
  const Keyword keyword = KeywordOf(line.substr(0, line.find(',')));
  // Any other first field, an empty line among them, makes the line a
  // comment.
  if (keyword == Keyword::None) return;
  const LineFields fields(line);
  // A line shorter than its keyword needs is skipped whole: a short REG
  // leaves the current register as it was.
  switch (keyword) {
    case Keyword::TabName:
      if (Has(fields, 2)) StartPage(fields.field[1]);
      break;
    case Keyword::Reg:
      if (Has(fields, 3)) AddRegister(fields.field[1], fields.field[2]);
      break;
    case Keyword::Bits:
      if (Has(fields, 9)) NameBits(fields);
      break;
    case Keyword::TitleBar:
      if (Has(fields, 2) && !fields.field[1].empty()) map_.WindowTitle = fields.field[1];
      break;
    case Keyword::Title:
      if (Has(fields, 2) && !fields.field[1].empty()) map_.HeadingText = fields.field[1];
      break;
    case Keyword::Access:
    case Keyword::Reset:
    case Keyword::Field:
      ReadRule(keyword, line);
      break;
    case Keyword::None:
      break;
  }
}

bool MapParser::Has(const LineFields& fields, std::size_t needed) {
  if (fields.count >= needed) return true;
  std::string keyword(fields.field[0]);
  for (char& c : keyword) c = UpperAscii(c);
  Skip(TooFewFields(keyword, static_cast<int>(needed)));
  return false;
}

void MapParser::ReadRule(Keyword keyword, std::string_view line) {
  if (!current_ || !IsRegisterAddress(*current_)) {
    Skip("no register for this line: the REG line before it was skipped");
    return;
  }
  const auto address = static_cast<std::uint8_t>(*current_);
  RegisterRules& rules = map_.EditRules(address);
  Note(address);
  std::string reason;
  if (keyword == Keyword::Access) {
    reason = rules_.Access(rules, address, line, line_);
  } else if (keyword == Keyword::Reset) {
    reason = rules_.Reset(rules, address, line, line_);
  } else {
    reason = rules_.Field(rules, line);
  }
  if (!reason.empty()) Skip(std::move(reason));
}

void MapParser::Finish() {
  map_.TabCount = static_cast<std::int16_t>(page_ + 1);
  // Only a noted address can have rules.
  for (const std::uint8_t address : named_) {
    if (map_.RulesIndex[address] != 0 && !bitsGiven_[address])
      NameBitsFromFields(map_.RulesOf(address), map_.BitNames[address]);
  }
}

void MapParser::StartPage(std::string_view name) {
  // Past the 32nd page a TABNAME is ignored, and the registers after it are
  // named but shown on no page rather than added to the last one.
  if (page_ + 1 >= kMaxPages) {
    pagesFull_ = true;
    Skip("more than 32 pages");
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
  if (!current_ || !IsRegisterAddress(*current_)) {
    Skip("register address out of range (0 to 255): " + std::string(addressField));
    return;
  }
  const auto address = static_cast<std::size_t>(*current_);
  map_.RegisterNames[address] = name;
  Note(static_cast<std::uint8_t>(address));
  // Before the first TABNAME there is no page to show the register on.
  if (page_ < 0 || pagesFull_) return;
  map_.RowAddress[static_cast<std::size_t>(page_)][static_cast<std::size_t>(row_)] =
      static_cast<std::int16_t>(address);
  // The last row keeps being overwritten: it shows the page's last REG line.
  if (row_ < kRowsPerPage - 1) ++row_;
}

void MapParser::NameBits(const LineFields& fields) {
  // After an ignored REG there is no register to give the names to.
  if (!current_ || !IsRegisterAddress(*current_)) {
    Skip("no register for this line: the REG line before it was skipped");
    return;
  }
  bitsGiven_[static_cast<std::size_t>(*current_)] = true;
  // A BITS line before any REG names register 0's bits.
  Note(static_cast<std::uint8_t>(*current_));
  auto& bits = map_.BitNames[static_cast<std::size_t>(*current_)];
  for (std::size_t k = 1; k <= kBitsPerRegister; ++k) bits[kBitsPerRegister - k] = fields.field[k];
}

// The map must have every row empty and every text empty (see MapParser).
void Parse(std::string_view fileBytes, RegisterMap& map, std::vector<std::uint8_t>& named) {
  MapParser parser(map, named);
  // A line ends at CR LF, LF or a lone CR. There is no limit on the number
  // of lines.
  LineSplitter lines(fileBytes);
  // Every piece goes to the parser, empty ones too: it counts the lines.
  while (const std::optional<std::string_view> line = lines.Next()) {
    parser.ReadLine(*line);
  }
  parser.Finish();
}

}  // namespace

std::int16_t RegisterMap::AddressAt(int page, int row) const {
  if (page < 0 || page >= kMaxPages || row < 0 || row >= kRowsPerPage) return kNoRegister;
  return RowAddress[static_cast<std::size_t>(page)][static_cast<std::size_t>(row)];
}

const RegisterRules& RegisterMap::RulesOf(int address) const {
  static const RegisterRules kPlain;
  const std::uint16_t index = RulesIndex[static_cast<std::size_t>(address)];
  return index == 0 ? kPlain : RulesList[index - 1u];
}

RegisterRules& RegisterMap::EditRules(int address) {
  std::uint16_t& index = RulesIndex[static_cast<std::size_t>(address)];
  if (index == 0) {
    RulesList.emplace_back();
    index = static_cast<std::uint16_t>(RulesList.size());
  }
  return RulesList[index - 1u];
}

RegisterMap ParseRegisterMap(std::string_view fileBytes) {
  RegisterMap map;
  for (auto& page : map.RowAddress) page.fill(kNoRegister);
  std::vector<std::uint8_t> named;
  Parse(fileBytes, map, named);
  return map;
}

const RegisterMap& RegisterMapReader::Read(std::string_view fileBytes) {
  // The last file filled pages only up to TabCount, and registers, bits and
  // rules only where it noted them.
  for (std::size_t page = 0; page < static_cast<std::size_t>(map_.TabCount); ++page) {
    map_.TabNames[page].clear();
    map_.RowAddress[page].fill(kNoRegister);
  }
  map_.TabCount = 0;
  for (const std::uint8_t address : named_) {
    map_.RegisterNames[address].clear();
    for (std::string& bit : map_.BitNames[address]) bit.clear();
    map_.RulesIndex[address] = 0;
  }
  named_.clear();
  map_.RulesList.clear();
  map_.SkippedLines.clear();
  map_.WindowTitle.clear();
  map_.HeadingText.clear();
  Parse(fileBytes, map_, named_);
  return map_;
}

}  // namespace regdiag
