// The register map: which registers exist, where each one is shown, and what
// it and its bits are called. Filled once from tabdefs.csv, read-only after.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/map/register_rules.h"

namespace regdiag {

inline constexpr int kMaxPages = 32;
inline constexpr int kRowsPerPage = 6;
inline constexpr int kRegisterCount = 256;
inline constexpr int kBitsPerRegister = 8;
// A RowAddress slot that shows no register.
inline constexpr std::int16_t kNoRegister = -1;

// All texts are the file's bytes as they stand (one byte per character);
// turning them into display text is the window's business.
struct RegisterMap {
  std::array<std::string, kMaxPages> TabNames{};
  std::int16_t TabCount = 0;
  // Page index 0..31, row 0..5. A parsed map holds 0..255 or kNoRegister;
  // a map that was never parsed holds 0 everywhere.
  std::array<std::array<std::int16_t, kRowsPerPage>, kMaxPages> RowAddress{};
  std::array<std::string, kRegisterCount> RegisterNames{};
  // BitNames[address][bit], bit 0 the least significant.
  std::array<std::array<std::string, kBitsPerRegister>, kRegisterCount> BitNames{};
  std::string WindowTitle;
  std::string HeadingText;
  // Access, reset value and fields, for the addresses that ACCESS, RESET or
  // FIELD lines name: RulesIndex holds 0 for an address without rules, else
  // its place in RulesList plus one. Kept apart from the fixed tables so that
  // a map without these lines costs next to nothing more.
  std::array<std::uint16_t, kRegisterCount> RulesIndex{};
  std::vector<RegisterRules> RulesList;
  // The lines that could not be used and were skipped, in file order.
  std::vector<MapNote> SkippedLines;

  // The register address shown at (page, row), or kNoRegister for a slot
  // outside the tables.
  [[nodiscard]] std::int16_t AddressAt(int page, int row) const;
  // The rules of an address (0..255): plain read-write memory without a
  // reset value where the map gives none.
  [[nodiscard]] const RegisterRules& RulesOf(int address) const;
  // The rules of an address, made plain when it has none yet.
  RegisterRules& EditRules(int address);

  friend bool operator==(const RegisterMap&, const RegisterMap&) = default;
};

// Last known value of every register, indexed by the 8-bit address, and
// whether it is known at all. A register is known once a value has been
// stored for it: read from the chip, written, edited or loaded from a file.
// Until then it holds 0, which is nobody's value and is never written to the
// chip in a register's name.
class RegisterValueCache {
 public:
  [[nodiscard]] std::int16_t operator[](std::size_t address) const { return values_[address]; }
  [[nodiscard]] bool Known(std::size_t address) const { return known_[address]; }
  void Store(std::size_t address, std::int16_t value) {
    values_[address] = value;
    known_[address] = true;
  }
  // Back to all 0 and nothing known.
  void Clear() { *this = RegisterValueCache{}; }
  friend bool operator==(const RegisterValueCache&, const RegisterValueCache&) = default;

 private:
  std::array<std::int16_t, kRegisterCount> values_{};
  std::bitset<kRegisterCount> known_;
};

// Parses the whole text of a register map file. Never fails: lines it cannot
// use are skipped, with the reason in SkippedLines, so the result always
// keeps the invariants of a map (every filled slot 0..255, no filled row
// below an empty one, at most 32 pages, no overlapping fields). Lines with
// an unknown keyword are comments, not skipped lines.
[[nodiscard]] RegisterMap ParseRegisterMap(std::string_view fileBytes);

// Parses file after file into one map that it keeps, emptying only what the
// last file filled: reading many files in a row then costs what the files
// hold, not a whole map of 2,300 texts built and freed each time. Each map
// it gives equals what ParseRegisterMap gives for the same bytes.
class RegisterMapReader {
 public:
  RegisterMapReader() {
    for (auto& page : map_.RowAddress) page.fill(kNoRegister);
  }

  // Valid until the next Read.
  const RegisterMap& Read(std::string_view fileBytes);

 private:
  RegisterMap map_;
  // The addresses whose texts or rules the last file filled, each once.
  std::vector<std::uint8_t> named_;
};

}  // namespace regdiag
