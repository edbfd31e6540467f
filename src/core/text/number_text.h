// Number texts of log entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace regdiag {

// Upper-case hex digits without leading zeros ("0" for zero). Negative values
// are written as two's complement of the field's width.
[[nodiscard]] std::string HexText16(std::int16_t value);
[[nodiscard]] std::string HexText32(std::uint32_t value);

// Decimal with one leading blank for zero and positive values, "-" for
// negative ones: " 0", " 12", "-3".
[[nodiscard]] std::string DecimalText(std::int64_t value);

// A count and its noun, singular for one: "1 register value", "3 register
// values".
[[nodiscard]] std::string Counted(std::size_t count, const char* one, const char* many);

}  // namespace regdiag
