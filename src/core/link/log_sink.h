// Where the engine's log entries go: the window's log pane, a terminal, a
// file, or nowhere. The engine writes every entry itself; the sink only keeps
// or shows it.
#pragma once

#include <string_view>

namespace regdiag {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // One entry: the text, then the suffix (CR LF for every entry the engine
  // writes). Called on the engine's thread.
  virtual void Append(std::string_view text, std::string_view suffix) = 0;
  // Empties the log.
  virtual void Clear() = 0;
};

}  // namespace regdiag
