#include "core/map/register_rules.h"

#include <algorithm>
#include <cctype>

#include "core/map/name_text.h"

namespace regdiag {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The register's access as a field's, for the bits that take it.
FieldAccess AsFieldAccess(RegisterAccess access) {
  switch (access) {
    case RegisterAccess::RW:
      return FieldAccess::RW;
    case RegisterAccess::WO:
      return FieldAccess::WO;
    case RegisterAccess::RO:
    case RegisterAccess::RC:
      break;
  }
  // A write cannot set what a read of an RC register clears.
  return FieldAccess::RO;
}

void AddBits(AccessMasks& masks, FieldAccess access, std::uint8_t bits) {
  switch (access) {
    case FieldAccess::Default:
    case FieldAccess::RW:
      masks.rw |= bits;
      break;
    case FieldAccess::RO:
      masks.ro |= bits;
      break;
    case FieldAccess::WO:
      masks.wo |= bits;
      break;
    case FieldAccess::W1C:
      masks.w1c |= bits;
      break;
  }
}

}  // namespace

const std::string* RegisterField::LabelOf(std::uint8_t value) const {
  const auto found = std::ranges::find(values, value, &FieldValueName::value);
  return found == values.end() || found->label.empty() ? nullptr : &found->label;
}

FieldAccess RegisterRules::AccessOf(const RegisterField& field) const {
  return field.access == FieldAccess::Default ? AsFieldAccess(access) : field.access;
}

AccessMasks RegisterRules::Masks() const {
  AccessMasks masks;
  if (fields.empty()) {
    AddBits(masks, AsFieldAccess(access), 0xFF);
    return masks;
  }
  for (const RegisterField& field : fields) AddBits(masks, AccessOf(field), field.Mask());
  return masks;
}

const RegisterField* RegisterRules::FindField(std::string_view name) const {
  const auto found = std::ranges::find_if(
      fields, [name](const RegisterField& field) { return SameIgnoringCase(NameUtf8(field.name), name); });
  return found == fields.end() ? nullptr : &*found;
}

std::string_view AccessName(RegisterAccess access) {
  switch (access) {
    case RegisterAccess::RW:
      return "RW";
    case RegisterAccess::RO:
      return "RO";
    case RegisterAccess::WO:
      return "WO";
    case RegisterAccess::RC:
      break;
  }
  return "RC";
}

std::string_view AccessName(FieldAccess access) {
  switch (access) {
    case FieldAccess::Default:
      return "";
    case FieldAccess::RW:
      return "RW";
    case FieldAccess::RO:
      return "RO";
    case FieldAccess::WO:
      return "WO";
    case FieldAccess::W1C:
      break;
  }
  return "W1C";
}

std::string MapNoteText(const MapNote& note) { return std::to_string(note.line) + ": " + note.reason; }

}  // namespace regdiag
