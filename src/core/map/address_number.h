// Reading the address field of a REG line: the number reading of the map
// format, with hex (&H) and octal (&O) prefixes and decimal with fraction and
// exponent.
#pragma once

#include <optional>
#include <string_view>

namespace regdiag {

// The value of the field as a number, before rounding. Blanks, tabs and line
// feeds anywhere in the field are dropped first; reading stops at the first
// character that cannot continue the number; no number in front reads as 0.
[[nodiscard]] double ReadAddressNumber(std::string_view field);

// Rounds to the nearest integer, ties to even. Empty when the result does not
// fit a 16-bit signed integer (or is not finite).
[[nodiscard]] std::optional<int> RoundAddressToInt16(double value);

}  // namespace regdiag
