#include "cli/output_format.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/map/field_text.h"
#include "core/map/name_text.h"
#include "core/text/hex_value.h"

namespace regdiag::cli {

namespace {

struct NamedBit {
  int bit = 0;
  std::string name;
};

// The named bits of a register, bit 7 first.
std::vector<NamedBit> NamedBits(const RegisterMap& map, std::uint8_t address) {
  std::vector<NamedBit> bits;
  for (int bit = kBitsPerRegister - 1; bit >= 0; --bit) {
    const std::string& name = map.BitNames[address][static_cast<std::size_t>(bit)];
    if (!name.empty() && name != "-") bits.push_back({bit, NameUtf8(name)});
  }
  return bits;
}

int BitOf(std::uint8_t value, int bit) { return (value >> bit) & 1; }

// A field, or a named bit that no field covers: what dump and diff show.
struct Part {
  std::string name;
  const RegisterField* field = nullptr;
  int bit = 0;

  [[nodiscard]] int ValueIn(std::uint8_t value) const {
    return field != nullptr ? field->ValueIn(value) : BitOf(value, bit);
  }
  [[nodiscard]] std::string Text(std::uint8_t value) const {
    return field != nullptr ? FieldValueText(*field, field->ValueIn(value))
                            : std::to_string(BitOf(value, bit));
  }
};

// The fields of a register in place of the bits they cover, and the named
// bits in no field, bit 7 first.
std::vector<Part> Parts(const RegisterMap& map, std::uint8_t address) {
  const std::vector<RegisterField>& fields = map.RulesOf(address).fields;
  std::vector<NamedBit> bits = NamedBits(map, address);
  std::vector<Part> parts;
  for (int bit = kBitsPerRegister - 1; bit >= 0; --bit) {
    const auto field =
        std::ranges::find_if(fields, [bit](const RegisterField& f) { return f.lsb <= bit && bit <= f.msb; });
    if (field != fields.end()) {
      if (field->msb == bit) parts.push_back({NameUtf8(field->name), &*field, bit});
      continue;
    }
    const auto named = std::ranges::find(bits, bit, &NamedBit::bit);
    if (named != bits.end()) parts.push_back({named->name, nullptr, bit});
  }
  return parts;
}

std::string Hex(std::uint8_t byte) { return "0x" + HexByteText(byte); }

std::string RegisterName(const RegisterMap& map, std::uint8_t address) {
  const std::string& name = map.RegisterNames[address];
  return name.empty() ? "-" : NameUtf8(name);
}

// "RESET=0 SLEEP=1 CLKSEL=2(PLL) ..."
std::string BitsText(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  std::string text;
  for (const Part& part : Parts(map, address))
    text += (text.empty() ? "" : " ") + part.name + "=" + part.Text(value);
  return text;
}

nlohmann::ordered_json JsonFields(const RegisterRules& rules, std::uint8_t value) {
  nlohmann::ordered_json fields = nlohmann::ordered_json::array();
  for (const RegisterField& field : rules.fields) {
    const std::uint8_t fieldValue = field.ValueIn(value);
    const std::string* label = field.LabelOf(fieldValue);
    nlohmann::ordered_json entry;
    entry["name"] = NameUtf8(field.name);
    entry["msb"] = field.msb;
    entry["lsb"] = field.lsb;
    entry["value"] = fieldValue;
    entry["label"] =
        label != nullptr ? nlohmann::ordered_json(NameUtf8(*label)) : nlohmann::ordered_json(nullptr);
    entry["access"] = AccessName(rules.AccessOf(field));
    fields.push_back(std::move(entry));
  }
  return fields;
}

nlohmann::ordered_json JsonEntry(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  nlohmann::ordered_json bits = nlohmann::ordered_json::array();
  for (const NamedBit& bit : NamedBits(map, address)) {
    nlohmann::ordered_json entry;
    entry["bit"] = bit.bit;
    entry["name"] = bit.name;
    entry["value"] = BitOf(value, bit.bit);
    bits.push_back(std::move(entry));
  }
  const std::string& name = map.RegisterNames[address];
  nlohmann::ordered_json entry;
  entry["address"] = address;
  entry["name"] = name.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(NameUtf8(name));
  entry["value"] = value;
  const RegisterRules& rules = map.RulesOf(address);
  entry["access"] = AccessName(rules.access);
  if (rules.reset) entry["reset"] = *rules.reset;
  entry["bits"] = std::move(bits);
  entry["fields"] = JsonFields(rules, value);
  return entry;
}

std::string DumpJson(const RegisterMap& map, const RegisterValues& values) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (int address = 0; address < kRegisterCount; ++address) {
    if (values[address])
      entries.push_back(JsonEntry(map, static_cast<std::uint8_t>(address), *values[address]));
  }
  // Names are UTF-8 (NameUtf8): replacing stands guard against a stray byte.
  return entries.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// A field that holds a comma, a double quote, CR or LF is quoted, its
// quotes doubled, as RFC 4180 writes it.
std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string DumpLine(const RegisterMap& map, std::uint8_t address, std::uint8_t value, DumpFormat format) {
  const std::string bits = BitsText(map, address, value);
  if (format == DumpFormat::Csv) {
    return Hex(address) + "," + CsvField(RegisterName(map, address)) + "," + Hex(value) + "," +
           CsvField(bits) + "\n";
  }
  const std::string line = Hex(address) + " " + RegisterName(map, address) + " " + Hex(value);
  return line + (bits.empty() ? "" : " " + bits) + "\n";
}

}  // namespace

std::string RegisterLine(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  return Hex(address) + " " + RegisterName(map, address) + " " + Hex(value) + "\n";
}

std::string DumpText(const RegisterMap& map, const RegisterValues& values, DumpFormat format) {
  if (format == DumpFormat::Json) return DumpJson(map, values);
  std::string text = format == DumpFormat::Csv ? "address,name,value,bits\n" : "";
  for (int address = 0; address < kRegisterCount; ++address) {
    if (values[address]) text += DumpLine(map, static_cast<std::uint8_t>(address), *values[address], format);
  }
  return text;
}

std::string NamesText(const RegisterMap& map) {
  std::string text;
  for (const std::string& name : map.RegisterNames) {
    if (!name.empty()) text += NameUtf8(name) + "\n";
  }
  return text;
}

std::string FieldReadLine(const RegisterMap& map, std::uint8_t address, const RegisterField& field,
                          std::uint8_t value) {
  const std::uint8_t fieldValue = field.ValueIn(value);
  const std::string* label = field.LabelOf(fieldValue);
  return Hex(address) + " " + RegisterName(map, address) + "." + NameUtf8(field.name) + " " +
         std::to_string(fieldValue) + (label != nullptr ? " " + NameUtf8(*label) : "") + "\n";
}

std::string DiffText(const RegisterMap& map, const RegisterValues& a, const RegisterValues& b) {
  std::string text;
  for (int index = 0; index < kRegisterCount; ++index) {
    if (a[index] == b[index]) continue;
    const auto address = static_cast<std::uint8_t>(index);
    text += Hex(address) + " " + RegisterName(map, address) + " " + (a[index] ? Hex(*a[index]) : "--") + " " +
            (b[index] ? Hex(*b[index]) : "--");
    if (a[index] && b[index]) {
      for (const Part& part : Parts(map, address)) {
        if (part.ValueIn(*a[index]) != part.ValueIn(*b[index]))
          text += " " + part.name + ":" + part.Text(*a[index]) + "->" + part.Text(*b[index]);
      }
    }
    text += "\n";
  }
  return text;
}

}  // namespace regdiag::cli
