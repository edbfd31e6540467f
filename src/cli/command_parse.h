// The command and the words after it, read and checked whole before anything
// is sent: numbers, register names, and the snapshot or log files a command
// takes. Bad input is reported with what was expected (and, in a file, the
// line number), and the command is refused.
//
// Plain functions with no state; they read files but write none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/output_format.h"
#include "core/map/register_map.h"
#include "core/map/register_snapshot.h"
#include "core/transactions/logged_writes.h"

namespace regdiag::cli {

// One side of a diff: a snapshot file's values, or the chip's, read live.
struct DiffSide {
  bool live = false;
  RegisterValues values{};
};

struct Command {
  enum class Kind { Read, Write, Dump, Save, Load, Diff, Replay, Watch };
  Kind kind = Kind::Read;
  std::vector<std::uint8_t> registers;  // read; one for write and watch
  std::uint8_t value = 0;               // write
  bool verify = false;                  // write, load
  DumpFormat format = DumpFormat::Text;
  std::string file;                     // save: where the snapshot goes
  std::vector<SnapshotEntry> snapshot;  // load, in address order
  std::array<DiffSide, 2> sides{};      // diff
  std::vector<LoggedWrite> writes;      // replay, in the log's order
  int intervalMs = 100;                 // watch
  std::optional<long> count;            // watch: stop after this many lines
};

struct CommandParse {
  std::optional<Command> command;  // empty when refused
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
};

// `words` begins with the command's name.
[[nodiscard]] CommandParse ParseCommand(std::span<const std::string_view> words, const RegisterMap& map);

// Whether the command talks to the bridge (a diff of two files does not).
[[nodiscard]] bool NeedsBridge(const Command& command);

// "FILE: reason", the one wording of a file that could not be read or written.
[[nodiscard]] std::string FileProblem(std::string_view file, std::string_view reason);

}  // namespace regdiag::cli
