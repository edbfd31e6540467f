#include "cli/progress.h"

#include <unistd.h>

#include <string>

#include "cli/terminal_text.h"

namespace regdiag::cli {

namespace {

constexpr std::string_view kEraseLine = "\033[K";

}  // namespace

Progress::Progress(bool logOnStderr) : enabled_(!logOnStderr && ::isatty(STDERR_FILENO) == 1) {}

void Progress::Show(std::string_view what, std::size_t done, std::size_t total) {
  if (!enabled_) return;
  // Carriage return, the text (escaped), then erase to the end of the line:
  // the only controls regdiag-cli sends itself.
  Output(stderr, "\r", Escapes::OwnControls);
  Output(stderr,
         "regdiag-cli: " + std::string(what) + " " + std::to_string(done) + "/" + std::to_string(total));
  Output(stderr, kEraseLine, Escapes::OwnControls);
  shown_ = true;
}

void Progress::Done() {
  if (!shown_) return;
  Output(stderr, "\r" + std::string(kEraseLine), Escapes::OwnControls);
  shown_ = false;
}

}  // namespace regdiag::cli
