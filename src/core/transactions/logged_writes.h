// The successful writes of a saved session log, for replaying them: the
// lines that read exactly as a successful write is logged,
// "Writing register 0xAA = 0xVV successful". The window saves its log with
// CR LF line ends; LF or CR alone is read too.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace regdiag {

struct LoggedWrite {
  std::uint8_t address = 0;
  std::uint8_t value = 0;
};

// The write that one line of the log (without its end) logs, if it is a
// successful write's line. A log is read line by line (ReadFileLines).
[[nodiscard]] std::optional<LoggedWrite> SuccessfulWrite(std::string_view line);

}  // namespace regdiag
