// The register map: which registers exist, where each one is shown, and what
// it and its bits are called. Filled once from tabdefs.csv, read-only after.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

  // The register address shown at (page, row), or kNoRegister for a slot
  // outside the tables.
  [[nodiscard]] std::int16_t AddressAt(int page, int row) const;
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

 private:
  std::array<std::int16_t, kRegisterCount> values_{};
  std::bitset<kRegisterCount> known_;
};

// Parses the whole text of a register map file. Never fails: lines it cannot
// use are skipped, so the result always keeps the invariants of a map (every
// filled slot 0..255, no filled row below an empty one, at most 32 pages).
[[nodiscard]] RegisterMap ParseRegisterMap(std::string_view fileBytes);

}  // namespace regdiag
