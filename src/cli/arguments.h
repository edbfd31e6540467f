// The one reader of register addresses, values and counts for every command
// of regdiag-cli, so that each command reads the same numbers the same way
// and refuses the same bad input with the same words.
//
// Plain functions with no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/map/register_map.h"

namespace regdiag::cli {

// A byte read from an argument, or why it could not be.
struct ByteArgument {
  std::optional<std::uint8_t> byte;
  std::string error;  // set when byte is empty
};

// REG: 0x12, 18, &H12, or a register name from the map (case does not
// matter). A text that begins like a number (ReadByteNumber) is read as a
// number, never looked up as a name.
[[nodiscard]] ByteArgument ParseRegister(std::string_view text, const RegisterMap& map);
// VALUE: 0 to 255, written as a number in the same ways.
[[nodiscard]] ByteArgument ParseValue(std::string_view text);

// A whole decimal number in min..max, such as a count or milliseconds;
// `what` names it in the message.
struct WholeArgument {
  std::optional<long> number;
  std::string error;
};
[[nodiscard]] WholeArgument ParseWhole(std::string_view text, std::string_view what, long min, long max);

}  // namespace regdiag::cli
