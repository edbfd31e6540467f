// Where regdiag-cli's log goes: the window's own log lines, on stderr or in
// a file (--log, --log=FILE), or nowhere.
//
// The start-up empties the log when it finds the bridge, as the window's
// does; a stream cannot take back what it has written, so entries are held
// until the start-up has ended (Release) and the log reads as the window's
// would. On stderr lines end with LF; a file gets CR LF, as the window saves
// its log, so that `replay` reads either.
//
// Threads: the engine's. Lifetime: owned by the run; outlives the engine.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/link/log_sink.h"

namespace regdiag::cli {

class ConsoleLog final : public LogSink {
 public:
  ConsoleLog() = default;
  ~ConsoleLog() override;
  ConsoleLog(const ConsoleLog&) = delete;
  ConsoleLog& operator=(const ConsoleLog&) = delete;

  void ToStderr();
  // Creates or empties the file; the system's reason when it cannot.
  [[nodiscard]] bool ToFile(const std::filesystem::path& path, std::string& reason);
  [[nodiscard]] bool OnStderr() const { return out_ == stderr; }

  void Append(std::string_view text, std::string_view suffix) override;
  void Clear() override;
  // A line for the --log file alone (stderr has it already).
  void FileLine(std::string_view text) {
    if (ownsFile_) Append(text, "\r\n");
  }
  // Writes what was held and writes every later entry at once.
  void Release();
  // Closes the file; false when anything could not be written.
  [[nodiscard]] bool Close();

 private:
  void Emit(std::string_view text);

  std::FILE* out_ = nullptr;
  bool ownsFile_ = false;
  bool held_ = true;
  std::string heldText_;
};

}  // namespace regdiag::cli
