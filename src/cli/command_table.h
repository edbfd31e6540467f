// The commands of regdiag-cli, one row each: its name, the words it takes,
// what the help says of it, how its words are read, whether it needs a
// bridge, and what runs it. --help, the argument checks and the dispatch
// read these rows, and so do the man page and the bash completion made from
// them at build time (cli_docs), so none of them can drift from another.
//
// Constant data: any thread.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "cli/command_parse.h"
#include "cli/commands.h"

namespace regdiag::cli {

// An option of a command: a flag ("--verify"), or one that takes the value
// `value` names ("--interval MS"; choices are written "text|csv|json").
struct OptionSpec {
  std::string_view name;
  std::string_view value;
  bool repeats = false;  // may be given more than once ("[--peripheral NAME]...")
};

struct CommandSpec {
  std::string_view name;
  // As the usage writes them: "REG VALUE"; "REG..." is one or more.
  std::string_view operands;
  std::array<OptionSpec, 2> options;
  // The help's words; a '\n' goes on under them on the next line.
  std::string_view summary;
  void (*read)(ArgumentReader& reader, const Words& words, Command& command);
  bool (*needsBridge)(const Command& command);
  Verdict (*run)(const Command& command, Console& console);

  // "write REG VALUE [--verify]"
  [[nodiscard]] std::string Usage() const;
  [[nodiscard]] std::size_t MinOperands() const;
  [[nodiscard]] std::size_t MaxOperands() const;
  [[nodiscard]] const OptionSpec* Option(std::string_view optionName) const;
};

[[nodiscard]] std::span<const CommandSpec> CommandTable();
// Null for a name that is no command.
[[nodiscard]] const CommandSpec* FindCommand(std::string_view name);
// The help's lines for the commands, one or more each, in the table's order.
[[nodiscard]] std::string CommandsHelp();

}  // namespace regdiag::cli
