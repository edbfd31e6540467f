// The register map: which registers exist, where each one is shown, and what
// it and its bits are called. Filled once from tabdefs.csv, read-only after.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Last known value of every register, indexed by the 8-bit address.
using RegisterValueCache = std::array<std::int16_t, kRegisterCount>;

// Parses the whole text of a register map file. Never fails: lines it cannot
// use are skipped, so the result always keeps the invariants of a map (every
// filled slot 0..255, no filled row below an empty one, at most 32 pages).
[[nodiscard]] RegisterMap ParseRegisterMap(std::string_view fileBytes);

// Parses file after file into one map that it keeps, resetting only what the
// last file filled: reading many files in a row (the fuzz target) then costs
// what the files hold, not a whole map of 2,300 texts built and freed each
// time. The map is the same as ParseRegisterMap gives.
class RegisterMapReader {
 public:
  // Valid until the next Read.
  const RegisterMap& Read(std::string_view fileBytes);

 private:
  RegisterMap map_;
  std::vector<std::uint8_t> named_;  // addresses whose texts the last file filled, perhaps twice
};

}  // namespace regdiag
