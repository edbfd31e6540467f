#include "core/map/rules_reader.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "core/map/address_number.h"
#include "core/text/ascii.h"
#include "core/text/hex_value.h"

namespace regdiag {

namespace {

// The line cut at every comma; field 0 is the keyword.
std::vector<std::string_view> CutFields(std::string_view line) {
  std::vector<std::string_view> fields;
  // Most lines hold no more: one allocation, not one for each growth.
  fields.reserve(8);
  for (;;) {
    const std::size_t comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    line.remove_prefix(comma + 1);
  }
}

// The second field of a line, when it has one: all that ACCESS and RESET
// read, cut without a vector of every field.
std::optional<std::string_view> SecondField(std::string_view line) {
  const std::size_t first = line.find(',');
  if (first == std::string_view::npos) return std::nullopt;
  line.remove_prefix(first + 1);
  return line.substr(0, line.find(','));
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::optional<RegisterAccess> ReadRegisterAccess(std::string_view text) {
  for (const RegisterAccess access :
       {RegisterAccess::RW, RegisterAccess::RO, RegisterAccess::WO, RegisterAccess::RC}) {
    if (SameName(text, AccessName(access))) return access;
  }
  return std::nullopt;
}

std::optional<FieldAccess> ReadFieldAccess(std::string_view text) {
  for (const FieldAccess access : {FieldAccess::RW, FieldAccess::RO, FieldAccess::WO, FieldAccess::W1C}) {
    if (SameName(text, AccessName(access))) return access;
  }
  return std::nullopt;
}

// A number read as a REG line's address is, when it lies in min..max.
std::optional<std::uint8_t> ReadSmall(std::string_view text, int max) {
  const std::optional<int> number = RoundAddressToInt16(ReadAddressNumber(text));
  if (!number || *number < 0 || *number > max) return std::nullopt;
  return static_cast<std::uint8_t>(*number);
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The fourth field and those after it: the access, then VALUE=LABEL pairs.
std::string ReadFieldTail(RegisterField& field, std::span<const std::string_view> tail) {
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const std::string_view text = tail[i];
    if (text.empty()) continue;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      if (i != 0) return Quoted(text) + " is not VALUE=LABEL";
      const std::optional<FieldAccess> access = ReadFieldAccess(text);
      if (!access) return "unknown field access " + Quoted(text) + " (RW, RO, WO or W1C)";
      field.access = *access;
      continue;
    }
    const std::optional<std::uint8_t> value = ReadSmall(text.substr(0, equals), field.MaxValue());
    if (!value) {
      return "value " + Quoted(text.substr(0, equals)) + " does not fit " + field.name + " (0 to " +
             std::to_string(field.MaxValue()) + ")";
    }
    if (std::ranges::find(field.values, *value, &FieldValueName::value) != field.values.end())
      return "value " + std::to_string(*value) + " given twice";
    field.values.push_back({*value, std::string(text.substr(equals + 1))});
  }
  return {};
}

}  // namespace

std::string RulesReader::Access(RegisterRules& rules, std::uint8_t address, std::string_view line,
                                int lineNumber) {
  const std::optional<std::string_view> text = SecondField(line);
  if (!text) return TooFewFields("ACCESS", 2);
  const std::optional<RegisterAccess> access = ReadRegisterAccess(*text);
  if (!access) return "unknown access " + Quoted(*text) + " (RW, RO, WO or RC)";
  if (accessLine_[address] != 0) {
    return "register 0x" + HexByteText(address) + " has its access from line " +
           std::to_string(accessLine_[address]);
  }
  accessLine_[address] = lineNumber;
  rules.access = *access;
  return {};
}

std::string RulesReader::Reset(RegisterRules& rules, std::uint8_t address, std::string_view line,
                               int lineNumber) {
  const std::optional<std::string_view> text = SecondField(line);
  if (!text) return TooFewFields("RESET", 2);
  const std::optional<std::uint8_t> value = ReadSmall(*text, 255);
  if (!value) return "reset value out of range (0 to 255): " + std::string(*text);
  if (resetLine_[address] != 0) {
    return "register 0x" + HexByteText(address) + " has its reset value from line " +
           std::to_string(resetLine_[address]);
  }
  resetLine_[address] = lineNumber;
  rules.reset = *value;
  return {};
}

std::string RulesReader::Field(RegisterRules& rules, std::string_view line) const {
  const std::vector<std::string_view> fields = CutFields(line);
  if (fields.size() < 4) return TooFewFields("FIELD", 4);
  RegisterField field;
  field.name = fields[1];
  if (field.name.empty()) return "field without a name";
  if (field.name.find('.') != std::string::npos) return "field name with a '.': " + field.name;
  const std::optional<std::uint8_t> msb = ReadSmall(fields[2], 7);
  const std::optional<std::uint8_t> lsb = ReadSmall(fields[3], 7);
  if (!msb || !lsb || *msb < *lsb) {
    return "bits " + std::string(fields[2]) + ".." + std::string(fields[3]) + " of " + field.name +
           " are not 7 >= MSB >= LSB >= 0";
  }
  field.msb = *msb;
  field.lsb = *lsb;
  for (const RegisterField& other : rules.fields) {
    if (SameName(other.name, field.name)) return "field " + field.name + " given twice";
    if ((other.Mask() & field.Mask()) != 0) return "field " + field.name + " overlaps " + other.name;
  }
  if (std::string problem = ReadFieldTail(field, std::span(fields).subspan(4)); !problem.empty())
    return problem;
  rules.fields.push_back(std::move(field));
  return {};
}

std::string TooFewFields(std::string_view keyword, int needed) {
  return "too few fields for " + std::string(keyword) + ": " + std::to_string(needed) + " needed";
}

void NameBitsFromFields(const RegisterRules& rules, std::array<std::string, 8>& bitNames) {
  for (const RegisterField& field : rules.fields) {
    for (int bit = field.lsb; bit <= field.msb; ++bit) {
      bitNames[static_cast<std::size_t>(bit)] =
          field.Width() == 1 ? field.name : field.name + std::to_string(bit - field.lsb);
    }
  }
}

}  // namespace regdiag
