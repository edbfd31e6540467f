// The one reader of REG and VALUE arguments, over every byte in every
// notation, and the words it refuses bad input with.
#include "cli/arguments.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace regdiag::cli {
namespace {

std::string Printed(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

RegisterMap NamedMap() {
  RegisterMap map;
  map.RegisterNames[0x01] = "SYS_CTRL";
  map.RegisterNames[0x10] = "EN";
  map.RegisterNames[0x20] = "en";
  map.RegisterNames[0x30] = "18";       // a name that looks like a number
  map.RegisterNames[0x42] = "WDT\xE9";  // Latin-1 in the map, UTF-8 when typed
  return map;
}

TEST(ArgumentsTest, EveryByteInEveryNotationIsReadAsThatByte) {
  const RegisterMap map = NamedMap();
  for (unsigned value = 0; value < 256; ++value) {
    for (const char* format : {"0x%02X", "0x%x", "0X%02x", "%u", "%03u", "&H%X", "&h%02x"}) {
      const std::string text = Printed(format, value);
      SCOPED_TRACE(text);
      EXPECT_EQ(ParseRegister(text, map).byte, value);
      EXPECT_EQ(ParseValue(text).byte, value);
    }
  }
}

TEST(ArgumentsTest, RegisterNamesAndTheWordsForBadInput) {
  const struct {
    std::string text;
    int address;  // -1: refused with `error`
    std::string error;
  } kCases[] = {
      {"SYS_CTRL", 0x01, ""},
      {"sys_ctrl", 0x01, ""},
      {"WDT\xC3\xA9", 0x42, ""},
      {"18", 0x12, ""},
      {"256", -1, "register address out of range (0x00-0xFF): 256"},
      {"0x100", -1, "register address out of range (0x00-0xFF): 0x100"},
      {"-1", -1, "register address out of range (0x00-0xFF): -1"},
      {"99999999999999999999", -1, "register address out of range (0x00-0xFF): 99999999999999999999"},
      {"0x1G", -1, "malformed register address '0x1G' (expected 0x12, 18 or &H12)"},
      {"0x", -1, "malformed register address '0x' (expected 0x12, 18 or &H12)"},
      {"&O17", -1, "malformed register address '&O17' (expected 0x12, 18 or &H12)"},
      {"12h", -1, "malformed register address '12h' (expected 0x12, 18 or &H12)"},
      {"", -1, "malformed register address '' (expected 0x12, 18 or &H12)"},
      {"SYS_CTL", -1, "unknown register name 'SYS_CTL'"},
      {"En", -1, "register name 'En' is ambiguous (0x10, 0x20)"},
  };
  const RegisterMap map = NamedMap();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const ByteArgument parsed = ParseRegister(c.text, map);
    EXPECT_EQ(parsed.byte, c.address >= 0 ? std::optional<std::uint8_t>(c.address) : std::nullopt);
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(ArgumentsTest, ValuesAndCountsRefusedWithWhatWasExpected) {
  EXPECT_EQ(ParseValue("256").error, "value out of range (0x00-0xFF): 256");
  EXPECT_EQ(ParseValue("SYS_CTRL").error, "malformed value 'SYS_CTRL' (expected 0x05, 5 or &H05)");
  EXPECT_EQ(ParseWhole("100", "--interval", 1, 3600000).number, 100);
  for (const char* bad : {"0", "1.5", "", "12ms", "3600001"}) {
    SCOPED_TRACE(bad);
    const WholeArgument parsed = ParseWhole(bad, "--interval", 1, 3600000);
    EXPECT_FALSE(parsed.number);
    EXPECT_EQ(parsed.error,
              "--interval must be a whole number from 1 to 3600000, not '" + std::string(bad) + "'");
  }
}

}  // namespace
}  // namespace regdiag::cli
