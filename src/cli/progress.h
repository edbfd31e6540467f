// Progress of long work ("regdiag-cli: reading 37/256"), on one line of
// stderr that is rewritten in place and wiped at the end. Shown only when
// stderr is a terminal that the log does not also write to, so that neither
// a script's stderr nor the log get it.
//
// Threads: the engine's.
#pragma once

#include <cstddef>
#include <string_view>

namespace regdiag::cli {

class Progress {
 public:
  explicit Progress(bool logOnStderr);
  ~Progress() { Done(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` of `total` steps of `what` ("reading", "writing").
  void Show(std::string_view what, std::size_t done, std::size_t total);
  // Wipes the line.
  void Done();

 private:
  bool enabled_;
  bool shown_ = false;
};

}  // namespace regdiag::cli
