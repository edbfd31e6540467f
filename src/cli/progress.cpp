#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>

namespace regdiag::cli {

Progress::Progress(bool logOnStderr) : enabled_(!logOnStderr && ::isatty(STDERR_FILENO) == 1) {}

void Progress::Show(std::string_view what, std::size_t done, std::size_t total) {
  if (!enabled_) return;
  // Carriage return, the text, then erase to the end of the line.
  std::fprintf(stderr, "\rregdiag-cli: %.*s %zu/%zu\033[K", static_cast<int>(what.size()), what.data(), done,
               total);
  shown_ = true;
}

void Progress::Done() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  shown_ = false;
}

}  // namespace regdiag::cli
