// Conversions between a register value and its hex text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace regdiag {

// The value of one hex digit of either case (0 to 15), or -1 for any other
// character. The one reader of hex digits: map addresses, typed numbers and
// row texts all go through it.
[[nodiscard]] int HexDigitValue(char c);

// Two upper-case hex digits of the value's low 8 bits: 0 -> "00", 10 -> "0A",
// 256 -> "00", -1 -> "FF".
[[nodiscard]] std::string HexByteText(long value);

// The number whose hex digits are the text's leading run of hex digits
// (either case); 0 for an empty text or one that does not begin with a hex
// digit. Saturates at INT32_MAX rather than overflow on a long run.
[[nodiscard]] std::int32_t ParseHexText(std::string_view text);

// True when the text is one or two hex digits (either case): the only texts
// a row's hex box may hold.
[[nodiscard]] bool IsRowHexText(std::string_view text);

}  // namespace regdiag
