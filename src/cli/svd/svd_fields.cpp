#include "cli/svd/svd_fields.h"

#include <algorithm>

#include "cli/svd/svd_xml.h"

namespace regdiag::cli::svd {

namespace {

// Widest bit number a register of up to 16 bits can hold, plus room for
// an SVD's larger numbers to be refused rather than wrap.
constexpr std::uint64_t kBitLimit = 64;

struct Bits {
  int msb = 0;
  int lsb = 0;
};

int SmallNumber(std::string_view xml, pugi::xml_node node, std::uint64_t value) {
  if (value >= kBitLimit) throw SvdProblem(Where(xml, node) + " gives a bit beyond 63");
  return static_cast<int>(value);
}

// bitOffset and bitWidth, lsb and msb, or bitRange "[msb:lsb]".
Bits BitsOf(std::string_view xml, pugi::xml_node field) {
  if (auto offset = Number(xml, field, "bitOffset")) {
    const int lsb = SmallNumber(xml, field, *offset);
    const int width = SmallNumber(xml, field, Number(xml, field, "bitWidth").value_or(1));
    return {lsb + std::max(width, 1) - 1, lsb};
  }
  const auto lsb = Number(xml, field, "lsb");
  const auto msb = Number(xml, field, "msb");
  if (lsb && msb) return {SmallNumber(xml, field, *msb), SmallNumber(xml, field, *lsb)};
  const std::string range = Text(field, "bitRange");
  const std::size_t colon = range.find(':');
  if (range.size() > 4 && range.front() == '[' && range.back() == ']' && colon != std::string::npos) {
    const auto high = ParseSvdNumber(range.substr(1, colon - 1));
    const auto low = ParseSvdNumber(range.substr(colon + 1, range.size() - colon - 2));
    if (high && low) return {SmallNumber(xml, field, *high), SmallNumber(xml, field, *low)};
  }
  throw SvdProblem(Where(xml, field) + " gives no bits");
}

// The named values, from the first enumeratedValues (through derivedFrom).
std::vector<SvdValue> ValuesOf(std::string_view xml, pugi::xml_node field, const std::string& name, int width,
                               std::vector<std::string>& warnings) {
  pugi::xml_node list = Child(field, "enumeratedValues");
  for (int depth = 0; list && !list.child("enumeratedValue") && depth < 8; ++depth) list = BaseOf(list);
  std::vector<SvdValue> values;
  for (pugi::xml_node entry : list.children("enumeratedValue")) {
    const std::string label = MapName(Text(entry, "name"));
    const std::string text = Text(entry, "value");
    const auto skip = [&](std::string_view why) {
      std::string warning = name;
      warning.append("=").append(label).append(": ").append(why).append(", skipped");
      warnings.push_back(std::move(warning));
    };
    const std::string isDefault = Text(entry, "isDefault");
    if (!isDefault.empty() && isDefault != "false" && isDefault != "0") {
      skip("an isDefault value");
      continue;
    }
    if (text.find_first_of("xX") != std::string::npos && !text.starts_with("0x") && !text.starts_with("0X")) {
      skip(text + " has don't-care bits");
      continue;
    }
    const std::optional<std::uint64_t> value = ParseSvdNumber(text);
    if (!value || label.empty()) throw SvdProblem(Where(xml, entry) + " is not a value and a name");
    const bool repeated = std::ranges::any_of(values, [&](const SvdValue& v) { return v.value == *value; });
    if ((width < 64 && *value >> width != 0) || repeated) {
      skip(text + " does not fit the field or is given twice");
      continue;
    }
    values.push_back({*value, label});
  }
  return values;
}

std::string FieldAccess(pugi::xml_node field, const std::string& name, std::vector<std::string>& warnings) {
  const std::string modified = Text(field, "modifiedWriteValues");
  if (modified == "oneToClear") return "W1C";
  if (!modified.empty() && modified != "modify") {
    warnings.push_back(name + ": modifiedWriteValues " + MapName(modified) + " is taken as RW");
    return "RW";
  }
  const std::string access = Text(field, "access");
  return access.empty() ? std::string() : RegisterAccess(access);
}

}  // namespace

std::string RegisterAccess(std::string_view access) {
  if (access == "read-only") return "RO";
  if (access == "write-only" || access == "writeOnce") return "WO";
  return "RW";
}

FieldRead ReadFields(std::string_view xml, pugi::xml_node reg, const std::string& regName, int size,
                     std::vector<std::string>& warnings) {
  FieldRead read;
  for (pugi::xml_node node : Child(reg, "fields").children("field")) {
    for (const Instance& instance : Instances(xml, node)) {
      SvdField field;
      field.name = MapName(instance.name);
      const Bits bits = BitsOf(xml, node);
      const int step = static_cast<int>(std::min<std::uint64_t>(instance.step, kBitLimit));
      field.msb = bits.msb + step;
      field.lsb = bits.lsb + step;
      if (field.lsb > field.msb || field.msb >= size) {
        warnings.push_back(regName + "." + field.name + ": bits " + std::to_string(field.msb) + " to " +
                           std::to_string(field.lsb) + " are outside the register, skipped");
        continue;
      }
      const std::string fullName = regName + "." + field.name;
      field.access = FieldAccess(node, fullName, warnings);
      read.readAction = read.readAction || !Text(node, "readAction").empty();
      field.values = ValuesOf(xml, node, fullName, field.msb - field.lsb + 1, warnings);
      read.fields.push_back(std::move(field));
    }
  }
  return read;
}

std::vector<SvdField> FieldsOfByte(const std::vector<SvdField>& fields, int part) {
  const int low = 8 * part;
  const int high = low + 7;
  std::vector<SvdField> byte;
  for (const SvdField& field : fields) {
    if (field.msb < low || field.lsb > high) continue;
    SvdField cut = field;
    if (field.lsb < low || field.msb > high) {
      cut.name += field.lsb >= low ? "_L" : "_H";
      cut.values.clear();
    }
    cut.msb = std::min(field.msb, high) - low;
    cut.lsb = std::max(field.lsb, low) - low;
    byte.push_back(std::move(cut));
  }
  return byte;
}

}  // namespace regdiag::cli::svd
