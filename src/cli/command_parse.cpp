#include "cli/command_parse.h"

#include <filesystem>
#include <utility>

#include "cli/arguments.h"
#include "core/files/file_read.h"
#include "core/files/file_write.h"

namespace regdiag::cli {

namespace {

using Kind = Command::Kind;

struct CommandSpec {
  std::string_view name;
  Kind kind;
  std::size_t minOperands;
  std::size_t maxOperands;
  std::array<std::string_view, 2> flags;         // options on their own
  std::array<std::string_view, 2> valueOptions;  // options with a value
  std::string_view usage;
};

constexpr std::size_t kMany = 256;
constexpr long kLongestIntervalMs = 3600000;
constexpr long kMostLines = 1000000000;

constexpr std::array<CommandSpec, 8> kCommands{{
    {"read", Kind::Read, 1, kMany, {}, {}, "read REG..."},
    {"write", Kind::Write, 2, 2, {"--verify"}, {}, "write REG VALUE [--verify]"},
    {"dump", Kind::Dump, 0, 0, {}, {"--format"}, "dump [--format text|csv|json]"},
    {"save", Kind::Save, 1, 1, {}, {}, "save FILE"},
    {"load", Kind::Load, 1, 1, {"--verify"}, {}, "load FILE [--verify]"},
    {"diff", Kind::Diff, 2, 2, {}, {}, "diff A B"},
    {"replay", Kind::Replay, 1, 1, {}, {}, "replay LOGFILE"},
    {"watch", Kind::Watch, 1, 1, {}, {"--interval", "--count"}, "watch REG [--interval MS] [--count N]"},
}};

bool Listed(const std::array<std::string_view, 2>& names, std::string_view name) {
  return !name.empty() && (names[0] == name || names[1] == name);
}

// The command's words, cut into operands and options.
struct Words {
  std::vector<std::string_view> operands;
  std::vector<std::pair<std::string_view, std::string_view>> options;

  [[nodiscard]] std::optional<std::string_view> Option(std::string_view name) const {
    for (const auto& [option, value] : options) {
      if (option == name) return value;
    }
    return std::nullopt;
  }
};

// Options may stand anywhere among the operands; "-1" is an operand.
bool SplitWords(std::span<const std::string_view> words, const CommandSpec& spec, Words& split,
                std::string& error) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (!word.starts_with("--")) {
      split.operands.push_back(word);
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    if (Listed(spec.flags, name) && equals == std::string_view::npos) {
      split.options.emplace_back(name, std::string_view{});
    } else if (Listed(spec.valueOptions, name) && equals != std::string_view::npos) {
      split.options.emplace_back(name, word.substr(equals + 1));
    } else if (Listed(spec.valueOptions, name) && i + 1 < words.size()) {
      split.options.emplace_back(name, words[++i]);
    } else {
      error = "unknown option or missing argument: " + std::string(word);
      return false;
    }
  }
  if (split.operands.size() >= spec.minOperands && split.operands.size() <= spec.maxOperands) return true;
  error = "usage: regdiag-cli [options] " + std::string(spec.usage);
  return false;
}

// Builds one command from its words, collecting every problem.
class CommandBuilder {
 public:
  CommandBuilder(const RegisterMap& map, CommandParse& result) : map_(map), result_(result) {}

  void Build(const Words& words, Command& command) {
    const auto& operands = words.operands;
    switch (command.kind) {
      case Kind::Read:
      case Kind::Watch:
        for (const std::string_view operand : operands) Register(operand, command.registers);
        if (command.kind == Kind::Watch) Watch(words, command);
        break;
      case Kind::Write:
        Register(operands[0], command.registers);
        Value(operands[1], command.value);
        break;
      case Kind::Dump:
        Format(words.Option("--format").value_or("text"), command.format);
        break;
      case Kind::Save:
        command.file = operands[0];
        CheckWritable(command.file);
        break;
      case Kind::Load:
        command.snapshot = Snapshot(operands[0]);
        break;
      case Kind::Diff:
        for (std::size_t side = 0; side < 2; ++side) command.sides[side] = Side(operands[side]);
        break;
      case Kind::Replay:
        command.file = operands[0];
        if (const std::optional<std::string> log = Read(operands[0])) command.writes = SuccessfulWrites(*log);
        break;
    }
    command.verify = words.Option("--verify").has_value();
  }

 private:
  void Error(std::string text) { result_.errors.push_back(std::move(text)); }

  void Register(std::string_view text, std::vector<std::uint8_t>& registers) {
    const ByteArgument address = ParseRegister(text, map_);
    if (address.byte)
      registers.push_back(*address.byte);
    else
      Error(address.error);
  }

  void Value(std::string_view text, std::uint8_t& value) {
    const ByteArgument parsed = ParseValue(text);
    if (parsed.byte)
      value = *parsed.byte;
    else
      Error(parsed.error);
  }

  void Whole(std::optional<std::string_view> text, std::string_view what, long max, auto& target) {
    if (!text) return;
    const WholeArgument parsed = ParseWhole(*text, what, 1, max);
    if (parsed.number)
      target = static_cast<std::remove_cvref_t<decltype(target)>>(*parsed.number);
    else
      Error(parsed.error);
  }

  void Watch(const Words& words, Command& command) {
    Whole(words.Option("--interval"), "--interval", kLongestIntervalMs, command.intervalMs);
    Whole(words.Option("--count"), "--count", kMostLines, command.count);
  }

  void Format(std::string_view text, DumpFormat& format) {
    if (text == "text")
      format = DumpFormat::Text;
    else if (text == "csv")
      format = DumpFormat::Csv;
    else if (text == "json")
      format = DumpFormat::Json;
    else
      Error("--format must be text, csv or json, not '" + std::string(text) + "'");
  }

  // A snapshot can only be saved where a file can be made.
  void CheckWritable(const std::string& file) {
    std::string reason;
    if (!CanWriteFile(std::filesystem::path(file), reason)) Error(FileProblem(file, reason));
  }

  std::optional<std::string> Read(std::string_view name) {
    FileRead file = ReadFileWhole(std::filesystem::path(name));
    if (file.outcome == FileRead::Outcome::Loaded) return std::move(file.bytes);
    Error(FileProblem(name, file.Problem()));
    return std::nullopt;
  }

  std::vector<SnapshotEntry> Snapshot(std::string_view name) {
    const std::optional<std::string> bytes = Read(name);
    if (!bytes) return {};
    SnapshotRead read = ParseSnapshot(*bytes, map_);
    for (const SnapshotNote& note : read.errors) Error(std::string(name) + ": " + NoteText(note));
    for (const SnapshotNote& note : read.warnings) {
      result_.warnings.push_back(std::string(name) + ": warning: " + NoteText(note));
    }
    return std::move(read.entries);
  }

  DiffSide Side(std::string_view operand) {
    DiffSide side;
    side.live = operand == "live";
    if (!side.live) {
      for (const SnapshotEntry& entry : Snapshot(operand)) side.values[entry.address] = entry.value;
    }
    return side;
  }

  const RegisterMap& map_;
  CommandParse& result_;
};

}  // namespace

CommandParse ParseCommand(std::span<const std::string_view> words, const RegisterMap& map) {
  CommandParse result;
  const CommandSpec* spec = nullptr;
  for (const CommandSpec& candidate : kCommands) {
    if (candidate.name == words.front()) spec = &candidate;
  }
  if (spec == nullptr) {
    result.errors.push_back("unknown command '" + std::string(words.front()) + "'");
    return result;
  }
  Words split;
  std::string error;
  if (!SplitWords(words.subspan(1), *spec, split, error)) {
    result.errors.push_back(std::move(error));
    return result;
  }
  Command command;
  command.kind = spec->kind;
  CommandBuilder(map, result).Build(split, command);
  if (result.errors.empty()) result.command = std::move(command);
  return result;
}

bool NeedsBridge(const Command& command) {
  switch (command.kind) {
    case Kind::Diff:
      return command.sides[0].live || command.sides[1].live;
    case Kind::Replay:
      return !command.writes.empty();
    default:
      return true;
  }
}

std::string FileProblem(std::string_view file, std::string_view reason) {
  return std::string(file) + ": " + std::string(reason);
}

}  // namespace regdiag::cli
