// The command and the words after it, read and checked whole before anything
// is sent: numbers, register names, and the snapshot or log files a command
// takes. Bad input is reported with what was expected (and, in a file, the
// line number), and the command is refused. Which words a command takes is
// its row of the command table (command_table.h).
//
// Plain functions and a reader that lives for one parse; they read files
// but write none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/output_format.h"
#include "core/map/register_map.h"
#include "core/map/register_snapshot.h"
#include "core/transactions/logged_writes.h"

namespace regdiag::cli {

struct CommandSpec;

// One side of a diff: a snapshot file's values, or the chip's, read live.
// The word reset stands for the map's reset values.
struct DiffSide {
  bool live = false;
  bool reset = false;
  RegisterValues values{};
};

struct Command {
  const CommandSpec* spec = nullptr;    // the command's row of the table
  std::vector<std::uint8_t> registers;  // read; one for write and watch
  // Beside each register: the field named as REG.FIELD, or null.
  std::vector<const RegisterField*> fields;
  std::uint8_t value = 0;  // write: the register's or the field's
  bool verify = false;     // write, load
  DumpFormat format = DumpFormat::Text;
  std::string file;                     // save: where the snapshot goes
  std::vector<SnapshotEntry> snapshot;  // load, in address order
  std::array<DiffSide, 2> sides{};      // diff
  std::vector<LoggedWrite> writes;      // replay, in the log's order
  int intervalMs = 100;                 // watch
  std::optional<long> count;            // watch: stop after this many lines
  std::vector<std::string> peripherals;  // import: the ones to keep, all when none
  std::string output;                    // import: the map's file, stdout when empty
};

struct CommandParse {
  std::optional<Command> command;  // empty when refused
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  std::vector<std::string> files;  // every file the command reads or writes
};

// The command's words, cut into operands and options.
struct Words {
  std::vector<std::string_view> operands;
  std::vector<std::pair<std::string_view, std::string_view>> options;

  [[nodiscard]] std::optional<std::string_view> Option(std::string_view name) const;
  // Every value of an option that may be repeated, in order.
  [[nodiscard]] std::vector<std::string_view> All(std::string_view name) const;
};

// Reads the words of one command into it, collecting every problem.
class ArgumentReader {
 public:
  ArgumentReader(const RegisterMap& map, CommandParse& result) : map_(map), result_(result) {}

  // REG or REG.FIELD, matched whole first; `reading` refuses what cannot be
  // read (a write-only register).
  void Register(std::string_view text, Command& command, bool reading);
  void Value(std::string_view text, std::uint8_t& value);
  // write: what the map's access rules refuse, and a field's value or label.
  void WriteValue(std::string_view text, Command& command);
  // A whole number from 1 to `max`; nothing when the option was not given
  // or is refused.
  [[nodiscard]] std::optional<long> Whole(std::optional<std::string_view> text, std::string_view what,
                                          long max);
  void Format(std::string_view text, DumpFormat& format);
  // A snapshot can only be saved where a file can be made.
  void Writable(std::string_view file);
  // A file the command reads itself, which --log must not name.
  void Reads(std::string_view file) { result_.files.emplace_back(file); }
  // A command that reads every named register needs a map that names one.
  void NamedRegisters(std::string_view what);
  // A file's bytes, or nothing after saying why it could not be read.
  [[nodiscard]] std::optional<std::string> File(std::string_view name);
  [[nodiscard]] std::vector<SnapshotEntry> Snapshot(std::string_view name);
  // The successful writes of a saved log, read line by line.
  [[nodiscard]] std::vector<LoggedWrite> LoggedWrites(std::string_view name);
  [[nodiscard]] DiffSide Side(std::string_view operand);

 private:
  void Error(std::string text) { result_.errors.push_back(std::move(text)); }

  const RegisterMap& map_;
  CommandParse& result_;
};

// `words` begins with the command's name.
[[nodiscard]] CommandParse ParseCommand(std::span<const std::string_view> words, const RegisterMap& map);

// "FILE: reason", the one wording of a file that could not be read or written.
[[nodiscard]] std::string FileProblem(std::string_view file, std::string_view reason);

}  // namespace regdiag::cli
