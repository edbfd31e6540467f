#include "cli/output_format.h"

#include <cstdio>
#include <vector>

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

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      std::array<char, 8> escape{};
      std::snprintf(escape.data(), escape.size(), "\\u%04x", static_cast<unsigned>(c));
      json += escape.data();
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string JsonEntry(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  std::string bits;
  for (const NamedBit& bit : NamedBits(map, address)) {
    bits += std::string(bits.empty() ? "" : ", ") + "{\"bit\": " + std::to_string(bit.bit) +
            ", \"name\": " + JsonString(bit.name) + ", \"value\": " + std::to_string(BitOf(value, bit.bit)) +
            "}";
  }
  const std::string& name = map.RegisterNames[address];
  return "  {\"address\": " + std::to_string(address) +
         ", \"name\": " + (name.empty() ? std::string("null") : JsonString(NameUtf8(name))) +
         ", \"value\": " + std::to_string(value) + ", \"bits\": [" + bits + "]}";
}

std::string DumpLine(const RegisterMap& map, std::uint8_t address, std::uint8_t value, DumpFormat format) {
  const std::string bits = BitsText(map, address, value);
  switch (format) {
    case DumpFormat::Text:
      break;
    case DumpFormat::Csv:
      return Hex(address) + "," + RegisterName(map, address) + "," + Hex(value) + "," + bits + "\n";
    case DumpFormat::Json:
      return JsonEntry(map, address, value);
  }
  const std::string line = Hex(address) + " " + RegisterName(map, address) + " " + Hex(value);
  return line + (bits.empty() ? "" : " " + bits) + "\n";
}

}  // namespace

std::string RegisterLine(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  return Hex(address) + " " + RegisterName(map, address) + " " + Hex(value) + "\n";
}

std::string DumpText(const RegisterMap& map, const RegisterValues& values, DumpFormat format) {
  std::string text = format == DumpFormat::Csv ? "address,name,value,bits\n" : "";
  if (format == DumpFormat::Json) text = "[";
  bool first = true;
  for (int address = 0; address < kRegisterCount; ++address) {
    if (!values[address]) continue;
    if (format == DumpFormat::Json) text += first ? "\n" : ",\n";
    text += DumpLine(map, static_cast<std::uint8_t>(address), *values[address], format);
    first = false;
  }
  if (format == DumpFormat::Json) text += first ? "]\n" : "\n]\n";
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
