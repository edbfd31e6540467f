// SuccessfulWrite, the reader of a saved log's lines that `replay` uses, on
// arbitrary bytes cut into lines as `replay` cuts them (CR LF, LF or CR): a
// line gives a write exactly when it reads as a successful write logs,
// "Writing register 0xAA = 0xVV successful", with its two bytes; nothing
// else. The check is written out afresh: a line is a write when printing the
// two numbers read from it gives it back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/text/lines.h"
#include "core/transactions/logged_writes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  regdiag::LineSplitter lines(std::string_view(reinterpret_cast<const char*>(data), size));
  int number = 0;
  while (const std::optional<std::string_view> piece = lines.Next()) {
    ++number;
    const std::string line(*piece);
    const std::optional<regdiag::LoggedWrite> write = regdiag::SuccessfulWrite(line);
    unsigned address = 0, value = 0;
    char printed[64] = {};
    bool expected = std::sscanf(line.c_str(), "Writing register 0x%2x = 0x%2x", &address, &value) == 2;
    std::snprintf(printed, sizeof printed, "Writing register 0x%02X = 0x%02X successful", address, value);
    expected = expected && line == printed;
    if (expected != write.has_value() || (write && (write->address != address || write->value != value))) {
      std::fprintf(stderr, "log reader invariant broken on line %d\n", number);
      std::abort();
    }
  }
  return 0;
}
