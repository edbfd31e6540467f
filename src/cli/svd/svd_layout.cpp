// Byte registers laid out as a map: names made unique, one register per
// address, pages of six per peripheral, and the map's lines.
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>

#include "cli/svd/svd_import.h"
#include "cli/svd/svd_xml.h"

namespace regdiag::cli {

namespace {

constexpr std::size_t kRowsPerPage = 6;
constexpr std::size_t kMostPages = 32;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Hex(std::uint64_t byte) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  return std::string("&H") + kDigits[(byte >> 4) & 0xF] + kDigits[byte & 0xF];
}

// A title on one map line: no comma, no line break, blanks run together.
std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    const char shown = (c == ',' || std::iscntrl(static_cast<unsigned char>(c)) != 0) ? ' ' : c;
    if (shown != ' ' || (!line.empty() && line.back() != ' ')) line += shown;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

struct Layout {
  std::array<const SvdRegister*, 256> owner{};
  std::array<SvdRegister, 256> merged;
  std::map<std::string, std::set<std::uint64_t>> pages;  // peripheral: its addresses
};

// A name given to several addresses gets its peripheral's name in front.
std::vector<SvdRegister> Prefixed(const std::vector<SvdRegister>& registers) {
  std::map<std::string, std::set<std::uint64_t>> addresses;
  for (const SvdRegister& reg : registers) addresses[Upper(reg.name)].insert(reg.address);
  std::vector<SvdRegister> named = registers;
  for (SvdRegister& reg : named) {
    if (addresses[Upper(reg.name)].size() > 1) reg.name = reg.peripheral + "_" + reg.name;
  }
  return named;
}

// The union of the fields of one register listed by several peripherals.
void MergeFields(SvdRegister& into, const SvdRegister& from, std::vector<std::string>& warnings) {
  for (const SvdField& field : from.fields) {
    const bool clash = std::ranges::any_of(into.fields, [&](const SvdField& kept) {
      return Upper(kept.name) == Upper(field.name) || !(kept.msb < field.lsb || field.msb < kept.lsb);
    });
    if (!clash) {
      into.fields.push_back(field);
    } else if (std::ranges::none_of(into.fields, [&](const SvdField& kept) {
                 return kept.name == field.name && kept.msb == field.msb && kept.lsb == field.lsb;
               })) {
      warnings.push_back(into.name + "." + field.name + " of " + from.peripheral +
                         ": overlaps a field, dropped");
    }
  }
}

void Place(Layout& layout, const SvdRegister& reg, std::set<std::string>& names,
           std::vector<std::string>& warnings) {
  const std::size_t address = reg.address;
  if (layout.owner[address] == nullptr) {
    if (!names.insert(Upper(reg.name)).second) {
      warnings.push_back(reg.name + " of " + reg.peripheral + ": the name is taken, skipped");
      return;
    }
    layout.owner[address] = &reg;
    layout.merged[address] = reg;
    layout.merged[address].fields.clear();
    MergeFields(layout.merged[address], reg, warnings);
  } else if (Upper(layout.merged[address].name) == Upper(reg.name)) {
    MergeFields(layout.merged[address], reg, warnings);
  } else {
    warnings.push_back(reg.name + " of " + reg.peripheral + ": address " + Hex(address) + " is " +
                       layout.merged[address].name + "'s, skipped");
    return;
  }
  layout.pages[reg.peripheral].insert(address);
}

std::string BitsLine(const SvdRegister& reg) {
  std::array<std::string, 8> bits;
  bits.fill("-");
  for (const SvdField& field : reg.fields) {
    for (int bit = field.lsb; bit <= field.msb; ++bit)
      bits[static_cast<std::size_t>(bit)] =
          field.msb == field.lsb ? field.name : field.name + std::to_string(bit - field.lsb);
  }
  std::string line = "BITS";
  for (int bit = 7; bit >= 0; --bit) line += "," + bits[static_cast<std::size_t>(bit)];
  return line + "\n";
}

std::string RulesLines(const SvdRegister& reg) {
  std::string lines = BitsLine(reg);
  if (reg.access != "RW") lines += "ACCESS," + reg.access + "\n";
  if (reg.reset) lines += "RESET," + Hex(*reg.reset) + "\n";
  for (const SvdField& field : reg.fields) {
    lines += "FIELD," + field.name + "," + std::to_string(field.msb) + "," + std::to_string(field.lsb);
    const bool own = !field.access.empty() && field.access != reg.access && reg.access != "RC";
    if (own || field.access == "W1C") lines += "," + field.access;
    for (const SvdValue& value : field.values) lines += "," + std::to_string(value.value) + "=" + value.label;
    lines += "\n";
  }
  return lines;
}

}  // namespace

std::string SvdMapText(const SvdDevice& device, std::vector<std::string>& warnings, std::string& error) {
  const std::vector<SvdRegister> named = Prefixed(device.registers);
  Layout layout;
  std::set<std::string> names;
  for (const SvdRegister& reg : named) Place(layout, reg, names, warnings);
  std::size_t pageCount = 0;
  for (const auto& [peripheral, addresses] : layout.pages) pageCount += (addresses.size() + 5) / kRowsPerPage;
  if (layout.pages.empty()) error = "no register to import: none is 8 or 16 bits at an address from 0 to 255";
  if (pageCount > kMostPages)
    error = std::to_string(pageCount) + " pages, more than 32: choose peripherals with --peripheral NAME";
  if (!error.empty()) return {};
  std::string text;
  if (const std::string name = OneLine(device.name); !name.empty()) text += "TITLEBAR," + name + "\n";
  if (const std::string about = OneLine(device.description); !about.empty()) text += "TITLE," + about + "\n";
  std::array<bool, 256> written{};
  std::set<std::string> shown;
  for (const std::string& peripheral : device.peripherals) {
    const auto found = layout.pages.find(peripheral);
    if (found == layout.pages.end() || !shown.insert(peripheral).second) continue;
    std::size_t row = 0;
    for (const std::uint64_t address : found->second) {
      if (row % kRowsPerPage == 0)
        text +=
            "TABNAME," + peripheral + (row == 0 ? "" : " " + std::to_string(row / kRowsPerPage + 1)) + "\n";
      ++row;
      text += "REG," + Hex(address) + "," + layout.merged[address].name + "\n";
      if (!written[address]) text += RulesLines(layout.merged[address]);
      written[address] = true;
    }
  }
  return text;
}

}  // namespace regdiag::cli
