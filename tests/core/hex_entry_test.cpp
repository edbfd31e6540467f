// A row's hex box: the value codecs over every byte value in both
// directions, the key rules that decide what each key does to the box, and
// the bridge's request packets and status byte.
#include <array>
#include <cctype>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "core/editing/hex_key_rules.h"
#include "core/text/hex_value.h"
#include "core/transactions/bridge_packets.h"

namespace regdiag {

// Readable states in failure messages.
static void PrintTo(const HexEditState& state, std::ostream* os) {
  *os << "{\"" << state.text << "\", " << state.selStart << ", " << state.selLength << "}";
}

namespace {

// Every byte value as hex text and back, as a character in a text, and in
// the bridge's packets and status byte.
TEST(HexValueTest, EveryByte) {
  for (int value = 0; value < 256; ++value) {
    SCOPED_TRACE(value);
    std::array<char, 3> upper{};
    std::array<char, 3> lower{};
    std::snprintf(upper.data(), upper.size(), "%02X", value);
    std::snprintf(lower.data(), lower.size(), "%02x", value);
    EXPECT_EQ(HexByteText(value), upper.data());
    for (const long other : {value + 256L, value + 0x7F00L, value - 256L, value - 0x10000L}) {
      EXPECT_EQ(HexByteText(other), upper.data());  // only the low byte counts
    }
    EXPECT_EQ(ParseHexText(upper.data()), value);
    EXPECT_EQ(ParseHexText(lower.data()), value);
    EXPECT_TRUE(IsRowHexText(upper.data()));
    EXPECT_TRUE(IsRowHexText(lower.data()));
    const char c = static_cast<char>(value);
    const bool hex = std::isxdigit(value) != 0;
    const int digit = hex ? std::stoi(std::string{c}, nullptr, 16) : 0;
    EXPECT_EQ(ParseHexText(std::string{c}), digit);
    EXPECT_EQ(ParseHexText(std::string{'5', c, '7'}),
              hex ? 0x507 + digit * 16 : 5);  // a non-digit ends the run
    EXPECT_EQ(IsRowHexText(std::string{c}), hex);
    EXPECT_EQ(IsRowHexText(std::string{'A', c}), hex);
    EXPECT_EQ(IsRowHexText(std::string{c, '0'}), hex);
    const auto byte = static_cast<std::uint8_t>(value);
    const auto data = static_cast<std::uint8_t>(255 - value);
    EXPECT_EQ(ReadRequest(byte), (std::array<std::uint8_t, 3>{0x01, 0x5B, byte}));
    EXPECT_EQ(WriteRequest(byte, data), (std::array<std::uint8_t, 4>{0x00, 0x5A, byte, data}));
    // Bit 7 outranks bit 6; the low six bits never change the verdict.
    EXPECT_EQ(DecodeStatusByte(byte), value >= 0x80   ? ReplyStatus::I2cError
                                      : value >= 0x40 ? ReplyStatus::NoAck
                                                      : ReplyStatus::Success);
  }
  EXPECT_EQ(HexByteText(std::numeric_limits<long>::min()), "00");
  // Long texts saturate rather than overflow; a row's box holds one or two digits.
  EXPECT_EQ(ParseHexText("7FFFFFFE"), 0x7FFFFFFE);
  for (const char* text : {"7FFFFFFF", "80000000", "FFFFFFFFFFFFFFFFFFFF"}) {
    EXPECT_EQ(ParseHexText(text), std::numeric_limits<std::int32_t>::max()) << text;
  }
  EXPECT_EQ(ParseHexText("00000000000000000012"), 0x12);
  EXPECT_FALSE(IsRowHexText(""));
  EXPECT_FALSE(IsRowHexText("000"));
}

// Types the keys one after the other ('\b' Backspace, '\x1b' Escape), as
// the window does for typed and pasted text alike.
HexKeyOutcome Type(const HexEditState& start, const std::string& keys) {
  HexKeyOutcome outcome{start, false};
  for (const char key : keys) {
    const HexKeyOutcome step = ApplyHexKey(outcome.state, static_cast<unsigned char>(key));
    outcome = {step.state, outcome.commit || step.commit};
  }
  return outcome;
}

TEST(HexKeyRulesTest, Table) {
  const struct {
    HexEditState before;
    std::string keys;
    HexEditState after;
    bool commit = true;
  } kCases[] = {
      // clang-format off
      // A digit: lower case folds to upper case, then the first rule that fits.
      {{"3F", 2, 0}, "a", {"FA", 2, 0}},      {{"3F", 0, 0}, "1", {"1F", 1, 0}},
      {{"1F", 1, 0}, "2", {"12", 2, 0}},      {{"12", 2, 0}, "3", {"23", 2, 0}},
      {{"3F", 0, 2}, "A", {"A", 1, 0}},       {{"A", 1, 0}, "4", {"A4", 2, 0}},
      {{"3F", 1, 1}, "0", {"30", 2, 0}},      {{"3F", 0, 1}, "7", {"7F", 1, 0}},
      {{"5", 0, 0}, "7", {"07", 2, 0}},       {{"", 0, 0}, "b", {"0B", 2, 0}},
      {{"ABC", 1, 0}, "5", {"ABC", 1, 0}},    {{"ABC", 3, 0}, "1", {"C1", 2, 0}},
      {{"ABC", 0, 0}, "1", {"ABC", 0, 0}},    {{"ABC", 1, 1}, "5", {"A5C", 2, 0}},
      // Backspace: the box never stays empty.
      {{"3F", 2, 0}, "\b", {"3", 1, 0}},      {{"3", 1, 0}, "\b", {"0", 1, 0}},
      {{"3F", 1, 0}, "\b", {"F", 0, 0}},      {{"F", 0, 0}, "\b", {"F", 0, 0}},
      {{"3F", 0, 2}, "\b", {"0", 1, 0}},      {{"3F", 1, 1}, "\b", {"3", 1, 0}},
      {{"3F", 0, 1}, "\b", {"F", 0, 0}},      {{"", 0, 0}, "\b", {"0", 1, 0}},
      // Escape sets "00" with the caret at the start, then types a '0' there.
      {{"3F", 0, 2}, "\x1b", {"00", 1, 0}},   {{"", 0, 0}, "\x1b", {"00", 1, 0}},
      // Out-of-range carets and selections are brought into the text first.
      {{"3F", 5, 0}, "a", {"FA", 2, 0}},      {{"3F", -3, 0}, "1", {"1F", 1, 0}},
      {{"3F", 1, -1}, "0", {"30", 2, 0}},     {{"3F", 0, 10}, "C", {"C", 1, 0}},
      {{"3F", 1, 10}, "\b", {"3", 1, 0}},     {{"3F", 2, 3}, "a", {"FA", 2, 0}},
      // Keys in a row, typed or pasted; any other character is dropped.
      {{"00", 0, 0}, "129", {"29", 2, 0}},    {{"3F", 1, 1}, "\x1b" "e7", {"E7", 2, 0}},
      {{"00", 2, 0}, "0x1F", {"1F", 2, 0}},   {{"00", 2, 0}, "xfy", {"0F", 2, 0}},
      {{"00", 2, 0}, "/:@G`g\x7F", {"00", 2, 0}, false},  // the neighbours of the digits
      {{"12", 2, 0}, "\xC3\xA9\xFF\r", {"12", 2, 0}, false},
      {{"3F", 7, -2}, "G", {"3F", 7, -2}, false},  // handed back as it came, out of range too
      // clang-format on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(::testing::PrintToString(c.before) + " keys " + ::testing::PrintToString(c.keys));
    const HexKeyOutcome outcome = Type(c.before, c.keys);
    EXPECT_EQ(outcome.state, c.after);
    EXPECT_EQ(outcome.commit, c.commit);
  }
}

}  // namespace
}  // namespace regdiag
