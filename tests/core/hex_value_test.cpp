#include "editing/core/hex_value.h"

#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace regdiag {
namespace {

// The reference text of a byte, written by the C library.
std::string PrintfByte(unsigned value, bool upper) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, upper ? "%02X" : "%02x", value);
  return buffer;
}

TEST(HexByteTextTest, ListedValues) {
  struct Case {
    long value;
    const char* text;
  };
  // Small values are swept below; these are the extremes of long.
  constexpr Case kCases[] = {
      {std::numeric_limits<long>::min(), "00"},
      {std::numeric_limits<long>::max(), "FF"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(HexByteText(c.value), c.text);
  }
}

TEST(HexByteTextTest, AllBytesMatchPrintfAndParseBack) {
  for (unsigned value = 0; value < 256; ++value) {
    SCOPED_TRACE(value);
    const std::string text = HexByteText(static_cast<long>(value));
    EXPECT_EQ(text, PrintfByte(value, true));
    EXPECT_EQ(ParseHexText(text), static_cast<std::int32_t>(value));
    EXPECT_TRUE(IsRowHexText(text));
  }
}

TEST(HexByteTextTest, OnlyTheLowByteCounts) {
  for (long value = 0; value < 256; ++value) {
    SCOPED_TRACE(value);
    const std::string expected = PrintfByte(static_cast<unsigned>(value), true);
    EXPECT_EQ(HexByteText(value + 256), expected);
    EXPECT_EQ(HexByteText(value + 0x7F00), expected);
    // A negative value is written as its two's complement.
    EXPECT_EQ(HexByteText(value - 256), expected);
    EXPECT_EQ(HexByteText(value - 0x10000), expected);
  }
}

TEST(ParseHexTextTest, ListedTexts) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  constexpr Case kCases[] = {
      {"a", 10},
      {"", 0},
      {" 1", 0},
      {"-1", 0},
      {"x12", 0},
      {"1 2", 1},
      {"aBcD", 0xABCD},
      {"7FFFFFFE", 0x7FFFFFFE},
      {"7FFFFFFF", std::numeric_limits<std::int32_t>::max()},
      {"80000000", std::numeric_limits<std::int32_t>::max()},
      {"FFFFFFFF", std::numeric_limits<std::int32_t>::max()},
      {"FFFFFFFFFFFFFFFFFFFF", std::numeric_limits<std::int32_t>::max()},
      {"00000000000000000012", 0x12},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseHexText(c.text), c.value);
  }
}

TEST(ParseHexTextTest, AllLowerCaseBytesReadBack) {
  for (unsigned value = 0; value < 256; ++value) {
    SCOPED_TRACE(value);
    const std::string lower = PrintfByte(value, false);
    EXPECT_EQ(ParseHexText(lower), static_cast<std::int32_t>(value));
  }
}

TEST(ParseHexTextTest, StopsAtFirstNonHexCharacter) {
  // Every character that is not a hex digit ends the run, wherever it is.
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    const bool isHex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (isHex) continue;
    SCOPED_TRACE(code);
    EXPECT_EQ(ParseHexText(std::string{c}), 0);
    EXPECT_EQ(ParseHexText(std::string{'5', c, '7'}), 5);
  }
}

TEST(IsRowHexTextTest, ListedTexts) {
  struct Case {
    const char* text;
    bool row;
  };
  constexpr Case kCases[] = {
      {"00", true}, {"fF", true},  {"", false},   {"000", false},
      {"1 ", false}, {"-1", false}, {"0x", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsRowHexText(c.text), c.row);
  }
}

TEST(IsRowHexTextTest, AllSingleCharacters) {
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    const char c = static_cast<char>(code);
    const bool isHex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    EXPECT_EQ(IsRowHexText(std::string{c}), isHex);
    EXPECT_EQ(IsRowHexText(std::string{'A', c}), isHex);
    EXPECT_EQ(IsRowHexText(std::string{c, '0'}), isHex);
  }
}

}  // namespace
}  // namespace regdiag
