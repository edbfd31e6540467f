#include "core/text/number_text.h"

#include <algorithm>

namespace regdiag {

namespace {

// Upper-case hex digits of an unsigned value without leading zeros.
std::string UnsignedHexText(std::uint32_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.push_back(kDigits[value & 0xFu]);
    value >>= 4;
  } while (value != 0);
  std::reverse(text.begin(), text.end());
  return text;
}

}  // namespace

std::string HexText16(std::int16_t value) {
  // The 16-bit two's complement of a negative value: -1 reads "FFFF".
  return UnsignedHexText(static_cast<std::uint16_t>(value));
}

std::string HexText32(std::uint32_t value) { return UnsignedHexText(value); }

std::string DecimalText(std::int64_t value) {
  // The sign position holds a blank unless the value is negative.
  std::string digits = std::to_string(value);
  return value < 0 ? digits : " " + digits;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace regdiag
