#include "core/text/hex_value.h"

#include <algorithm>
#include <limits>

namespace regdiag {

namespace {

constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string HexByteText(long value) {
  // Converting to unsigned keeps the two's complement bits of a negative value.
  const unsigned long low = static_cast<unsigned long>(value) & 0xFFu;
  return {kUpperHexDigits[low >> 4], kUpperHexDigits[low & 0xFu]};
}

std::int32_t ParseHexText(std::string_view text) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int32_t number = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    // Further digits only make the number larger, so stop at the first overflow.
    if (number > (kMax - digit) / 16) return kMax;
    number = number * 16 + digit;
  }
  return number;
}

bool IsRowHexText(std::string_view text) {
  if (text.empty() || text.size() > 2) return false;
  return std::ranges::all_of(text, [](char c) { return HexDigitValue(c) >= 0; });
}

}  // namespace regdiag
