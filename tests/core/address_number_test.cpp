#include "map/address_number.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace regdiag {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct ReadCase {
  std::string field;
  double value;
};

void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "field \"" << c.field.substr(0, 40) << "\" (" << c.field.size()
                                    << " bytes)");
    EXPECT_EQ(ReadAddressNumber(c.field), c.value);
  }
}

TEST(AddressNumberTest, PrefixedHexAndOctal) {
  ExpectReads({
      {"&H1F", 31},  {"&h1f", 31},      {"&H1f", 31},
      {"&H", 0},     {"&HFFFF", 65535}, {"&HFFFFFFFF", 4294967295.0},
      {"&H1G", 1},   {"&H-1", 0},       {"&H+1", 0},
      {"&H 1F", 31}, {"& H1F", 31},     {"&O17", 15},
      {"&o17", 15},  {"&O8", 0},        {"&O78", 7},
      {"&O", 0},     {"&", 0},          {"&X10", 0},
      {"&H1.5", 1},  {"&H1E2", 0x1E2},
  });
}

TEST(AddressNumberTest, Decimal) {
  ExpectReads({
      {"16", 16},      {"0016", 16},
      {"16.5", 16.5},
      {"007.50", 7.5}, {"-1", -1},
      {"+5", 5},       {".5", 0.5},
      {"-.5", -0.5},   {"1.", 1},
      {"1e2", 100},    {"1E2", 100},
      {"1e+2", 100},   {"25e-1", 2.5},
      {"1.6e1", 16},   {"0x1F", 0},
      {"", 0},         {"abc", 0},
      {"12abc", 12},   {".", 0},
      {"-", 0},        {"+", 0},
      {"--1", 0},      {"+-1", 0},
      {"e5", 0},       {".e5", 0},
      {"1e", 1},       {"1e+", 1},
      {"1E-", 1},      {"1ex", 1},
      {"1.5.5", 1.5},  {"1e2e3", 100},
      {"1e2.5", 100},  {"1,5", 1},
      {"inf", 0},      {"nan", 0},
      {"1d2", 1},      {"123456789012345678901234567890", 123456789012345678901234567890.0},
  });
}

TEST(AddressNumberTest, BlanksTabsAndLineFeedsDropped) {
  ExpectReads({
      {"1 6", 16},
      {" 16 ", 16},
      {"\t1\n6 ", 16},
      {"- 1", -1},
      {"1 . 5", 1.5},
      {"1 e 2", 100},
      {"  ", 0},
      {"\n&\tH 1 F", 31},
      // Other control bytes are not dropped: they end the number.
      {"1\r6", 1},
      {"\r16", 0},
      {"\v16", 0},
      {"1\f6", 1},
  });
}

TEST(AddressNumberTest, ExtremeMagnitudes) {
  ExpectReads({
      {"1e308", 1e308},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"1.8e308", kInf},
      {"1e309", kInf},
      {"1e999999", kInf},
      {"-1e999999", -kInf},
      {"1e-999999", 0},
      {"0e999999", 0},
      {"1e-400", 0},
      {"1e" + std::string(50, '9'), kInf},
      {"1e-" + std::string(50, '9'), 0},
      {"1" + std::string(300, '0'), 1e300},
      {"1" + std::string(400, '0'), kInf},
      {std::string(100000, '9'), kInf},
      {std::string(1000, '0') + "5", 5},
      {"0." + std::string(399, '0') + "1e400", 1},
      {"1" + std::string(1000, '0') + "e-1000", 1},
      {"1" + std::string(100000, '0') + "e-100000", 1},
      {"&H" + std::string(300, 'F'), kInf},
      {"&O" + std::string(400, '7'), kInf},
  });
}

TEST(AddressNumberTest, RoundsHalfToEvenWithinInt16) {
  struct Case {
    double value;
    std::optional<int> rounded;
  };
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const Case kCases[] = {
      {0, 0},
      {-0.0, 0},
      {16.5, 16},
      {17.5, 18},
      {0.5, 0},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {2.4999, 2},
      {2.5000001, 3},
      {0.49999999999999994, 0},
      {-0.49999999999999994, 0},
      {std::numeric_limits<double>::denorm_min(), 0},
      {32767, 32767},
      {32767.4, 32767},
      {32766.5, 32766},
      {32767.5, std::nullopt},
      {32768, std::nullopt},
      {-32768, -32768},
      {-32768.5, -32768},
      {-32768.6, std::nullopt},
      {-32769, std::nullopt},
      {65535, std::nullopt},
      {4503599627370497.0, std::nullopt},
      {1e300, std::nullopt},
      {kInf, std::nullopt},
      {-kInf, std::nullopt},
      {kNaN, std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    EXPECT_EQ(RoundAddressToInt16(c.value), c.rounded);
  }
}

}  // namespace
}  // namespace regdiag
