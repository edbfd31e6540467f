#include "cli/command_table.h"

#include <algorithm>
#include <optional>

namespace regdiag::cli {

namespace {

constexpr std::size_t kMany = 256;
constexpr long kLongestIntervalMs = 3600000;
constexpr long kMostLines = 1000000000;
// Where the help's words for a command begin.
constexpr std::size_t kSummaryColumn = 30;

bool Always(const Command& /*command*/) { return true; }
bool Never(const Command& /*command*/) { return false; }

// The lines of the map that could not be used, and why.
Verdict RunCheck(const Command& /*command*/, Console& console) {
  std::string text;
  for (const MapNote& note : console.map.SkippedLines) text += MapNoteText(note) + "\n";
  Print(text);
  return text.empty() ? Verdict::Success : Verdict::Failure;
}

// For the shell's completion of register names.
Verdict RunNames(const Command& /*command*/, Console& console) {
  Print(NamesText(console.map));
  return Verdict::Success;
}

constexpr CommandSpec kCommands[] = {
    {"read", "REG...", {}, "one line per register: address, name, value;\nREG.FIELD: the field's value and label",
     [](ArgumentReader& in, const Words& words, Command& command) {
       for (const std::string_view operand : words.operands) in.Register(operand, command, true);
     },
     Always, RunRead},
    {"write", "REG VALUE", {{{"--verify", ""}}},
     "--verify reads the value back and fails on a mismatch;\nREG.FIELD VALUE|LABEL changes only that field",
     [](ArgumentReader& in, const Words& words, Command& command) {
       in.Register(words.operands[0], command, false);
       command.verify = words.Option("--verify").has_value();
       in.WriteValue(words.operands[1], command);
     },
     Always, RunWrite},
    {"dump", "", {{{"--format", "text|csv|json"}}},
     "every named register, in address order, with its fields and named bits",
     [](ArgumentReader& in, const Words& words, Command& command) {
       in.Format(words.Option("--format").value_or("text"), command.format);
       in.NamedRegisters("dump");
     },
     Always, RunDump},
    {"save", "FILE", {}, "a snapshot of every named register",
     [](ArgumentReader& in, const Words& words, Command& command) {
       command.file = words.operands[0];
       in.Writable(command.file);
       in.NamedRegisters("save");
     },
     Always, RunSave},
    {"load", "FILE", {{{"--verify", ""}}}, "writes the snapshot's registers in address order, 10 ms apart",
     [](ArgumentReader& in, const Words& words, Command& command) {
       command.snapshot = in.Snapshot(words.operands[0]);
       command.verify = words.Option("--verify").has_value();
     },
     Always, RunLoad},
    {"diff", "A B", {},
     "A and B are snapshot files, the word live or the word reset;\n"
     "lists the registers, fields and named bits that differ",
     [](ArgumentReader& in, const Words& words, Command& command) {
       for (std::size_t side = 0; side < 2; ++side) command.sides[side] = in.Side(words.operands[side]);
       if (command.sides[0].live || command.sides[1].live) in.NamedRegisters("read live");
     },
     [](const Command& command) { return command.sides[0].live || command.sides[1].live; }, RunDiff},
    {"replay", "LOGFILE", {}, "repeats, in order, the successful writes in a saved log",
     [](ArgumentReader& in, const Words& words, Command& command) {
       command.file = words.operands[0];
       command.writes = in.LoggedWrites(command.file);
     },
     [](const Command& command) { return !command.writes.empty(); }, RunReplay},
    {"watch", "REG", {{{"--interval", "MS"}, {"--count", "N"}}},
     "polls a register and prints a line when it changes;\n--count N stops after N reads",
     [](ArgumentReader& in, const Words& words, Command& command) {
       in.Register(words.operands[0], command, true);
       const std::optional<long> ms = in.Whole(words.Option("--interval"), "--interval", kLongestIntervalMs);
       if (ms) command.intervalMs = static_cast<int>(*ms);
       command.count = in.Whole(words.Option("--count"), "--count", kMostLines);
     },
     Always, RunWatch},
    {"import", "FILE.svd", {{{"--peripheral", "NAME", true}, {"-o", "FILE"}}},
     "a map from an SVD register description,\non stdout or to -o FILE",
     [](ArgumentReader& in, const Words& words, Command& command) {
       command.file = words.operands[0];
       in.Reads(command.file);
       for (const std::string_view name : words.All("--peripheral")) command.peripherals.emplace_back(name);
       if (const std::optional<std::string_view> output = words.Option("-o")) {
         command.output = *output;
         in.Writable(command.output);
       }
     },
     Never, RunImport},
    {"names", "", {}, "the register names of the map, one per line",
     [](ArgumentReader& /*in*/, const Words& /*words*/, Command& /*command*/) {}, Never, RunNames},
    {"check", "", {}, "the map's skipped lines, LINE: reason; exits 1 when there are some",
     [](ArgumentReader& /*in*/, const Words& /*words*/, Command& /*command*/) {}, Never, RunCheck},
};

}  // namespace

std::string CommandSpec::Usage() const {
  std::string usage(name);
  if (!operands.empty()) usage.append(" ").append(operands);
  for (const OptionSpec& option : options) {
    if (option.name.empty()) continue;
    usage.append(" [").append(option.name);
    if (!option.value.empty()) usage.append(" ").append(option.value);
    usage.append(option.repeats ? "]..." : "]");
  }
  return usage;
}

std::size_t CommandSpec::MinOperands() const {
  return static_cast<std::size_t>(std::ranges::count(operands, ' ')) + (operands.empty() ? 0 : 1);
}

std::size_t CommandSpec::MaxOperands() const { return operands.ends_with("...") ? kMany : MinOperands(); }

const OptionSpec* CommandSpec::Option(std::string_view optionName) const {
  for (const OptionSpec& option : options) {
    if (!option.name.empty() && option.name == optionName) return &option;
  }
  return nullptr;
}

std::span<const CommandSpec> CommandTable() { return kCommands; }

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

// "  save FILE                   a snapshot of every named register": the
// words in their column, or three blanks after a usage too long for it.
std::string CommandsHelp() {
  std::string help;
  for (const CommandSpec& command : kCommands) {
    std::string line = "  " + command.Usage();
    line += line.size() + 2 <= kSummaryColumn ? std::string(kSummaryColumn - line.size(), ' ') : "   ";
    for (const char c : command.summary) {
      line += c;
      if (c == '\n') line += std::string(kSummaryColumn, ' ');
    }
    help += line + "\n";
  }
  return help;
}

}  // namespace regdiag::cli
