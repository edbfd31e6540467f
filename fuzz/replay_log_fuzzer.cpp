// SuccessfulWrites, the reader of a saved log that `replay` uses, on arbitrary
// bytes: it gives exactly the lines (ended by LF or CR LF) that read as a
// successful write logs, "Writing register 0xAA = 0xVV successful", in order
// and with their bytes; nothing else. The check is written out afresh: a
// line is a write when printing the two numbers read from it gives it back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/transactions/logged_writes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<regdiag::LoggedWrite> writes = regdiag::SuccessfulWrites(bytes);
  std::size_t found = 0;
  for (std::size_t start = 0; start < size;) {
    const std::size_t end = std::min(bytes.find('\n', start), size);
    const std::string line(
        bytes.substr(start, end - start - (end > start && bytes[end - 1] == '\r' ? 1 : 0)));
    start = end + 1;
    unsigned address = 0, value = 0;
    char printed[64] = {};
    if (std::sscanf(line.c_str(), "Writing register 0x%2x = 0x%2x", &address, &value) != 2) continue;
    std::snprintf(printed, sizeof printed, "Writing register 0x%02X = 0x%02X successful", address, value);
    if (line != printed) continue;
    if (found == writes.size() || writes[found].address != address || writes[found].value != value) {
      std::fprintf(stderr, "log reader invariant broken: write line %zu left out or changed\n", found);
      std::abort();
    }
    ++found;
  }
  if (found != writes.size()) {
    std::fprintf(stderr, "log reader invariant broken: %zu writes that are no write line\n",
                 writes.size() - found);
    std::abort();
  }
  return 0;
}
