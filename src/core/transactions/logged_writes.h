// The successful writes of a saved session log, for replaying them: the
// lines that read exactly as a successful write is logged,
// "Writing register 0xAA = 0xVV successful". The window saves its log with
// CR LF line ends; LF alone is read too.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace regdiag {

struct LoggedWrite {
  std::uint8_t address = 0;
  std::uint8_t value = 0;
};

// In the order of the log.
[[nodiscard]] std::vector<LoggedWrite> SuccessfulWrites(std::string_view logBytes);

}  // namespace regdiag
