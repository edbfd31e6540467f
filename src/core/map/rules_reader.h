// Reading the ACCESS, RESET and FIELD lines of a map into the rules of the
// current register. Private to the map reader.
//
//   ACCESS,RW|RO|WO|RC
//   RESET,VALUE
//   FIELD,NAME,MSB,LSB[,RW|RO|WO|W1C][,VALUE=LABEL]...
//
// Numbers are read as a REG line's address is. The first ACCESS and the
// first RESET of an address win; a FIELD may not overlap another of its
// register nor repeat its name in any case. Empty fields after LSB are
// ignored, so an empty access field leaves the default.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/map/register_rules.h"

namespace regdiag {

class RulesReader {
 public:
  // Each takes the whole line and the current register, and answers why the
  // line is skipped: empty when it was used.
  std::string Access(RegisterRules& rules, std::uint8_t address, std::string_view line, int lineNumber);
  std::string Reset(RegisterRules& rules, std::uint8_t address, std::string_view line, int lineNumber);
  std::string Field(RegisterRules& rules, std::string_view line) const;

 private:
  // The line that gave each address its access and its reset value; 0 for none.
  std::array<int, 256> accessLine_{};
  std::array<int, 256> resetLine_{};
};

// "too few fields for REG: 3 needed"
[[nodiscard]] std::string TooFewFields(std::string_view keyword, int needed);

// Bit names taken from the fields, for a register that has no BITS line: a
// one-bit field gives its name, a wider one its name and the bit's index
// within it (CLKSEL1, CLKSEL0). Bits in no field stay unnamed.
void NameBitsFromFields(const RegisterRules& rules, std::array<std::string, 8>& bitNames);

}  // namespace regdiag
