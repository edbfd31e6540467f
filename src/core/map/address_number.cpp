#include "core/map/address_number.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "core/text/ascii.h"

#include "core/text/hex_value.h"

namespace regdiag {
namespace {

// Past this many significant digits a decimal mantissa cannot change the
// nearest double any more; the rest are counted but not kept.
constexpr std::size_t kMaxSignificantDigits = 800;
// An exponent that large already puts every mantissa we keep far outside the
// range of a double, so the exponent is read with saturation at it.
constexpr std::int64_t kExponentCap = 1'000'000'000;
// Decimal orders beyond these are outside a double whatever the digits.
constexpr std::int64_t kMaxOrder = 400;
constexpr std::int64_t kMinOrder = -400;
// A double holds every whole number of up to this many digits exactly.
constexpr std::size_t kExactDigits = 15;

bool IsDroppedBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The leading run of digits of the base as an unsigned magnitude. A very
// long run grows to infinity, which the caller treats as out of range.
double ReadDigitsInBase(std::string_view text, int base) {
  double value = 0.0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= base) break;
    value = value * base + digit;
  }
  return value;
}

std::size_t SkipDigits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsDecimalDigit(text[pos])) ++pos;
  return pos;
}

// The exponent after E/e at pos, with its optional sign; 0 when no digit
// follows (the E then simply ends the number).
std::int64_t ReadExponent(std::string_view text, std::size_t pos) {
  if (pos >= text.size() || UpperAscii(text[pos]) != 'E') return 0;
  ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  std::int64_t exponent = 0;
  for (; pos < text.size() && IsDecimalDigit(text[pos]); ++pos) {
    exponent = std::min(exponent * 10 + (text[pos] - '0'), kExponentCap);
  }
  return negative ? -exponent : exponent;
}

// The significant digits of a decimal mantissa (leading zeros dropped, at
// most kMaxSignificantDigits kept) and the decimal order of the first one:
// the value is 0.<digits> x 10^order.
struct Mantissa {
  // Only the first `count` are ever read: left unfilled, so that reading
  // a short number does not first clear 800 bytes.
  std::array<char, kMaxSignificantDigits + 32> digits;
  std::size_t count = 0;
  std::int64_t order = 0;

  void Add(char digit, bool beforePoint) {
    if (count == 0 && digit == '0') {
      if (!beforePoint) --order;
      return;
    }
    if (beforePoint) ++order;
    if (count < kMaxSignificantDigits) digits[count++] = digit;
  }
};

// Turns 0.<digits> x 10^order into the nearest double without overflow:
// orders far outside a double are settled before any conversion.
double MantissaToDouble(Mantissa& m, std::int64_t exponent) {
  if (m.count == 0) return 0.0;
  const std::int64_t order = m.order + exponent;
  if (order > kMaxOrder) return std::numeric_limits<double>::infinity();
  if (order < kMinOrder) return 0.0;
  char* const end = m.digits.data() + m.digits.size();
  char* cursor = m.digits.data() + m.count;
  *cursor++ = 'e';
  cursor = std::to_chars(cursor, end, order - static_cast<std::int64_t>(m.count)).ptr;
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(m.digits.data(), cursor, value);
  if (ec == std::errc::result_out_of_range) {
    return order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

// Optional sign, digits, optional fraction, optional exponent; reading stops
// at the first character that cannot continue the number.
double ReadDecimal(std::string_view text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const std::size_t intEnd = SkipDigits(text, pos);
  const bool wholeOnly = intEnd == text.size() || (text[intEnd] != '.' && UpperAscii(text[intEnd]) != 'E');
  if (wholeOnly && intEnd - pos <= kExactDigits) {
    // Whole digits with no fraction or exponent after them, as nearly every
    // address is written: exact as they stand.
    double whole = 0.0;
    for (std::size_t i = pos; i < intEnd; ++i) whole = whole * 10 + (text[i] - '0');
    return negative ? -whole : whole;
  }
  Mantissa mantissa;
  for (std::size_t i = pos; i < intEnd; ++i) mantissa.Add(text[i], true);
  pos = intEnd;
  if (pos < text.size() && text[pos] == '.') {
    const std::size_t fracEnd = SkipDigits(text, pos + 1);
    for (std::size_t i = pos + 1; i < fracEnd; ++i) mantissa.Add(text[i], false);
    pos = fracEnd;
  }
  // Without a digit in front the mantissa is empty and the number reads 0,
  // whatever exponent follows.
  const double magnitude = MantissaToDouble(mantissa, ReadExponent(text, pos));
  return negative ? -magnitude : magnitude;
}

double ReadCompacted(std::string_view text) {
  if (text.size() >= 2 && text[0] == '&') {
    const char prefix = UpperAscii(text[1]);
    // &H and &O give an unsigned magnitude: &HFFFF is 65535, not -1.
    if (prefix == 'H') return ReadDigitsInBase(text.substr(2), 16);
    if (prefix == 'O') return ReadDigitsInBase(text.substr(2), 8);
  }
  return ReadDecimal(text);
}

}  // namespace

double ReadAddressNumber(std::string_view field) {
  bool hasBlank = false;
  for (char c : field) hasBlank = hasBlank || IsDroppedBlank(c);
  if (!hasBlank) return ReadCompacted(field);
  std::string compacted;
  compacted.reserve(field.size());
  for (char c : field) {
    if (!IsDroppedBlank(c)) compacted.push_back(c);
  }
  return ReadCompacted(compacted);
}

std::optional<int> RoundAddressToInt16(double value) {
  // The bound keeps the arithmetic below exact and inside int; NaN fails it.
  if (!(std::fabs(value) < 1.0e6)) return std::nullopt;
  const double lower = std::floor(value);
  const double fraction = value - lower;  // exact for doubles of this size
  double rounded = lower;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0)) rounded = lower + 1.0;
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<int>(rounded);
}

}  // namespace regdiag
