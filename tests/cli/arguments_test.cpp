// The one reader of REG, VALUE and count arguments: every byte in every
// notation, register names, and the words it refuses bad input with.
#include "cli/arguments.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/map/name_text.h"

namespace regdiag::cli {
namespace {

TEST(ArgumentsTest, EveryByteInEveryNotationIsReadAsThatByteAndBadInputIsRefusedInWords) {
  RegisterMap map;
  map.RegisterNames[0x01] = "SYS_CTRL";
  map.RegisterNames[0x10] = "EN";
  map.RegisterNames[0x20] = "en";
  map.RegisterNames[0x30] = "18";       // a name that looks like a number
  map.RegisterNames[0x42] = "WDT\xE9";  // Latin-1 in the map, UTF-8 when typed
  for (unsigned value = 0; value < 256; ++value) {
    for (const char* format : {"0x%02X", "0x%x", "0X%02x", "%u", "%03u", "&H%X", "&h%02x"}) {
      char text[16];
      std::snprintf(text, sizeof text, format, value);
      SCOPED_TRACE(text);
      EXPECT_EQ(ParseRegister(text, map).byte, value);
      EXPECT_EQ(ParseValue(text).byte, value);
    }
  }

  const std::string malformed = "' (expected 0x12, 18 or &H12)";
  const struct {
    std::string text;
    int address;  // -1: refused with `error`
    std::string error;
  } kCases[] = {
      {"SYS_CTRL", 0x01, ""},
      {"WDT\xC3\xA9", 0x42, ""},
      {"18", 0x12, ""},
      {"256", -1, "register address out of range (0x00-0xFF): 256"},
      {"0x100", -1, "register address out of range (0x00-0xFF): 0x100"},
      {"-1", -1, "register address out of range (0x00-0xFF): -1"},
      {"99999999999999999999", -1, "register address out of range (0x00-0xFF): 99999999999999999999"},
      {"0x1G", -1, "malformed register address '0x1G" + malformed},
      {"0x", -1, "malformed register address '0x" + malformed},
      {"&O17", -1, "malformed register address '&O17" + malformed},
      {"12h", -1, "malformed register address '12h" + malformed},
      {"", -1, "malformed register address '" + malformed},
      {"SYS_CTL", -1, "unknown register name 'SYS_CTL'"},
      {"En", -1, "register name 'En' is ambiguous (0x10, 0x20)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const ByteArgument parsed = ParseRegister(c.text, map);
    EXPECT_EQ(parsed.byte, c.address >= 0 ? std::optional<std::uint8_t>(c.address) : std::nullopt);
    EXPECT_EQ(parsed.error, c.error);
  }
  // A map's name is taken as UTF-8 where its bytes are well-formed, else as Latin-1.
  for (const char* bytes :
       {"\xC2\x80\xDF\xBF", "\xE0\xA0\x80\xED\x9F\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(IsUtf8(bytes)) << bytes;
  for (const char* bytes : {"\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82\x41", "\xC3"})
    EXPECT_FALSE(IsUtf8(bytes)) << bytes;
  EXPECT_EQ(ParseValue("256").error, "value out of range (0x00-0xFF): 256");
  EXPECT_EQ(ParseValue("SYS_CTRL").error, "malformed value 'SYS_CTRL' (expected 0x05, 5 or &H05)");
  EXPECT_EQ(ParseWhole("1", "--interval", 1, 3600000).number, 1);
  EXPECT_EQ(ParseWhole("3600000", "--interval", 1, 3600000).number, 3600000);
  for (const std::string bad : {"0", "1.5", "", "12ms", "3600001"}) {
    EXPECT_EQ(ParseWhole(bad, "--interval", 1, 3600000).error,
              "--interval must be a whole number from 1 to 3600000, not '" + bad + "'");
  }
}

}  // namespace
}  // namespace regdiag::cli
