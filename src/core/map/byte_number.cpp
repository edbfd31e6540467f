#include "core/map/byte_number.h"

#include <cctype>

#include "core/text/hex_value.h"

namespace regdiag {

namespace {

// Far enough above 255 that a long run of digits cannot overflow.
constexpr int kSaturation = 100000;

// The digits in `base` that make up all of `digits`; -1 when there are none
// or something else stands among them.
int ReadDigits(std::string_view digits, int base) {
  if (digits.empty()) return -1;
  int value = 0;
  for (const char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= base) return -1;
    value = value < kSaturation ? value * base + digit : kSaturation;
  }
  return value;
}

bool HasPrefix(std::string_view text, char first, char second) {
  return text.size() >= 2 && text[0] == first && std::tolower(static_cast<unsigned char>(text[1])) == second;
}

ByteNumber Judge(int value, bool negative) {
  if (value < 0) return {ByteNumber::Reading::Malformed, 0};
  if (negative && value != 0) return {ByteNumber::Reading::OutOfRange, -value};
  if (value > 255) return {ByteNumber::Reading::OutOfRange, value};
  return {ByteNumber::Reading::Byte, value};
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

ByteNumber ReadByteNumber(std::string_view text) {
  if (text.empty()) return {ByteNumber::Reading::Malformed, 0};
  const char first = text.front();
  if (first == '&') return Judge(HasPrefix(text, '&', 'h') ? ReadDigits(text.substr(2), 16) : -1, false);
  const bool sign = first == '+' || first == '-';
  if (!sign && std::isdigit(static_cast<unsigned char>(first)) == 0) return {};
  const std::string_view unsigned_part = sign ? text.substr(1) : text;
  if (HasPrefix(unsigned_part, '0', 'x')) return Judge(ReadDigits(unsigned_part.substr(2), 16), first == '-');
  return Judge(ReadDigits(unsigned_part, 10), first == '-');
}

std::string RegisterAddressProblem(std::string_view text, ByteNumber number) {
  switch (number.reading) {
    case ByteNumber::Reading::Byte:
      return {};
    case ByteNumber::Reading::OutOfRange:
      return "register address out of range (0x00-0xFF): " + std::string(text);
    case ByteNumber::Reading::Malformed:
    case ByteNumber::Reading::NotANumber:
      break;
  }
  return "malformed register address " + Quoted(text) + " (expected 0x12, 18 or &H12)";
}

std::string ValueProblem(std::string_view text, ByteNumber number) {
  switch (number.reading) {
    case ByteNumber::Reading::Byte:
      return {};
    case ByteNumber::Reading::OutOfRange:
      return "value out of range (0x00-0xFF): " + std::string(text);
    case ByteNumber::Reading::Malformed:
    case ByteNumber::Reading::NotANumber:
      break;
  }
  return "malformed value " + Quoted(text) + " (expected 0x05, 5 or &H05)";
}

}  // namespace regdiag
