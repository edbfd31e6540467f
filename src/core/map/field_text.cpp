#include "core/map/field_text.h"

#include <algorithm>
#include <cctype>

#include "core/map/byte_number.h"
#include "core/map/name_text.h"

namespace regdiag {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string LabelList(const RegisterField& field) {
  std::string list;
  for (const FieldValueName& named : field.values) {
    if (!named.label.empty()) list += (list.empty() ? "" : ", ") + NameUtf8(named.label);
  }
  return list;
}

}  // namespace

std::string FieldValueText(const RegisterField& field, std::uint8_t fieldValue) {
  std::string text = std::to_string(fieldValue);
  if (const std::string* label = field.LabelOf(fieldValue)) text += "(" + NameUtf8(*label) + ")";
  return text;
}

std::string FieldLine(const RegisterField& field, std::uint8_t fieldValue) {
  std::string line = NameUtf8(field.name) + " = " + std::to_string(fieldValue);
  if (const std::string* label = field.LabelOf(fieldValue)) line += " (" + NameUtf8(*label) + ")";
  return line;
}

std::string FieldsDescription(const RegisterRules& rules, std::uint8_t registerValue) {
  std::string text;
  for (const RegisterField& field : rules.fields) {
    if (!text.empty()) text += '\n';
    text += FieldLine(field, field.ValueIn(registerValue));
  }
  return text;
}

std::optional<FieldPath> SplitFieldPath(std::string_view text) {
  const std::size_t dot = text.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size()) return std::nullopt;
  return FieldPath{text.substr(0, dot), text.substr(dot + 1)};
}

FieldValueArgument ParseFieldValue(const RegisterField& field, std::string_view text) {
  for (const FieldValueName& named : field.values) {
    if (!named.label.empty() && SameIgnoringCase(NameUtf8(named.label), text)) return {named.value, {}};
  }
  const ByteNumber number = ReadByteNumber(text);
  const std::string range = " (0 to " + std::to_string(field.MaxValue()) + ")";
  const std::string name = NameUtf8(field.name);
  if (number.reading == ByteNumber::Reading::NotANumber || number.reading == ByteNumber::Reading::Malformed) {
    const std::string list = LabelList(field);
    const std::string labels = list.empty() ? "a number" : list + " or a number";
    return {std::nullopt, "'" + std::string(text) + "' is not a value of " + name + ": " + labels + range};
  }
  if (number.reading == ByteNumber::Reading::OutOfRange || number.value > field.MaxValue()) {
    return {std::nullopt, "value " + std::string(text) + " does not fit " + name + range};
  }
  return {static_cast<std::uint8_t>(number.value), {}};
}

}  // namespace regdiag
