#include "cli/output_format.h"

#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/text/hex_value.h"
#include "core/map/name_text.h"

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

std::string Hex(std::uint8_t byte) { return "0x" + HexByteText(byte); }

std::string RegisterName(const RegisterMap& map, std::uint8_t address) {
  const std::string& name = map.RegisterNames[address];
  return name.empty() ? "-" : NameUtf8(name);
}

// "RESET=0 SLEEP=1 ..."
std::string BitsText(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  std::string text;
  for (const NamedBit& bit : NamedBits(map, address)) {
    text += (text.empty() ? "" : " ") + bit.name + "=" + std::to_string(BitOf(value, bit.bit));
  }
  return text;
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
  entry["bits"] = std::move(bits);
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
    return Hex(address) + "," + CsvField(RegisterName(map, address)) + "," + Hex(value) + "," + CsvField(bits) +
           "\n";
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

std::string DiffText(const RegisterMap& map, const RegisterValues& a, const RegisterValues& b) {
  std::string text;
  for (int index = 0; index < kRegisterCount; ++index) {
    if (a[index] == b[index]) continue;
    const auto address = static_cast<std::uint8_t>(index);
    text += Hex(address) + " " + RegisterName(map, address) + " " + (a[index] ? Hex(*a[index]) : "--") + " " +
            (b[index] ? Hex(*b[index]) : "--");
    if (a[index] && b[index]) {
      for (const NamedBit& bit : NamedBits(map, address)) {
        const int before = BitOf(*a[index], bit.bit);
        const int after = BitOf(*b[index], bit.bit);
        if (before != after)
          text += " " + bit.name + ":" + std::to_string(before) + "->" + std::to_string(after);
      }
    }
    text += "\n";
  }
  return text;
}

}  // namespace regdiag::cli
