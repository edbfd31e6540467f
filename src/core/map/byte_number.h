// Reading a register address or a value as a person writes it, on the
// command line or in a snapshot file: 0x12, 18 or &H12, hex digits in either
// case. This is not the map's address reader, which by the map's rules reads
// 0x12 as 0.
#pragma once

#include <string>
#include <string_view>

namespace regdiag {

struct ByteNumber {
  enum class Reading {
    Byte,        // value holds 0..255
    OutOfRange,  // a number, but not 0..255
    Malformed,   // begins like a number but is not one
    NotANumber,  // does not begin like a number (a register name, perhaps)
  };
  Reading reading = Reading::NotANumber;
  int value = 0;
};

// A text begins like a number when it begins with a digit, a sign or '&'.
// Decimal digits with an optional sign, 0x or &H followed by hex digits;
// leading zeros do not make a number octal. Nothing may follow the digits.
[[nodiscard]] ByteNumber ReadByteNumber(std::string_view text);

// What is wrong with the text, in words that say what was expected; empty
// when it is a byte. `text` is quoted in the message as given.
[[nodiscard]] std::string RegisterAddressProblem(std::string_view text, ByteNumber number);
[[nodiscard]] std::string ValueProblem(std::string_view text, ByteNumber number);

}  // namespace regdiag
