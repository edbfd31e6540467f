#include "cli/command_parse.h"

#include <filesystem>
#include <utility>

#include "cli/arguments.h"
#include "cli/command_table.h"
#include "core/files/file_read.h"
#include "core/files/file_write.h"
#include "core/map/field_text.h"
#include "core/map/map_file.h"
#include "core/transactions/access_rules.h"

namespace regdiag::cli {

namespace {

// Options may stand anywhere among the operands, each once unless it
// repeats; "-1" is an operand, and so is every word after "--". A short
// option ("-o") is one only where the command has it.
bool SplitWords(std::span<const std::string_view> words, const CommandSpec& spec, Words& split,
                std::string& error) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    const bool shortOption =
        !word.starts_with("--") && spec.Option(word.substr(0, word.find('='))) != nullptr;
    if (optionsEnded || !(word.starts_with("--") || shortOption)) {
      split.operands.push_back(word);
      continue;
    }
    optionsEnded = word == "--";
    if (optionsEnded) continue;
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    const OptionSpec* option = spec.Option(name);
    if (split.Option(name) && (option == nullptr || !option->repeats)) {
      error = std::string(name) + " given twice";
      return false;
    }
    const bool takesValue = option != nullptr && !option->value.empty();
    if (option != nullptr && !takesValue && equals == std::string_view::npos) {
      split.options.emplace_back(name, std::string_view{});
    } else if (takesValue && equals != std::string_view::npos) {
      split.options.emplace_back(name, word.substr(equals + 1));
    } else if (takesValue && i + 1 < words.size()) {
      split.options.emplace_back(name, words[++i]);
    } else {
      error = "unknown option or missing argument: " + std::string(word);
      return false;
    }
  }
  if (split.operands.size() >= spec.MinOperands() && split.operands.size() <= spec.MaxOperands()) return true;
  error = "usage: regdiag-cli [options] " + spec.Usage();
  return false;
}

}  // namespace

std::optional<std::string_view> Words::Option(std::string_view name) const {
  for (const auto& [option, value] : options) {
    if (option == name) return value;
  }
  return std::nullopt;
}

std::vector<std::string_view> Words::All(std::string_view name) const {
  std::vector<std::string_view> values;
  for (const auto& [option, value] : options) {
    if (option == name) values.push_back(value);
  }
  return values;
}

void ArgumentReader::Register(std::string_view text, Command& command, bool reading) {
  ByteArgument address = ParseRegister(text, map_);
  const RegisterField* field = nullptr;
  const std::optional<FieldPath> path = SplitFieldPath(text);
  if (!address.byte && path) {
    const ByteArgument holder = ParseRegister(path->registerName, map_);
    if (holder.byte) {
      field = map_.RulesOf(*holder.byte).FindField(path->fieldName);
      if (field == nullptr) {
        Error("register '" + std::string(path->registerName) + "' has no field '" +
              std::string(path->fieldName) + "'");
        return;
      }
      address = holder;
    }
  }
  if (!address.byte) return Error(address.error);
  if (const std::optional<Refusal> refusal = reading ? ReadRefusal(map_, *address.byte) : std::nullopt)
    return Error(RefusalText(*address.byte, *refusal));
  command.registers.push_back(*address.byte);
  command.fields.push_back(field);
}

void ArgumentReader::WriteValue(std::string_view text, Command& command) {
  if (command.registers.empty()) return;
  const std::uint8_t address = command.registers.front();
  const RegisterField* field = command.fields.front();
  std::optional<Refusal> refusal = WriteRefusal(map_, address, command.verify);
  if (field != nullptr && refusal != Refusal::VerifyWriteOnly)
    refusal = FieldWriteRefusal(map_, address, *field);
  if (refusal) return Error(RefusalText(address, *refusal));
  if (field == nullptr) return Value(text, command.value);
  const FieldValueArgument parsed = ParseFieldValue(*field, text);
  if (parsed.value)
    command.value = *parsed.value;
  else
    Error(parsed.error);
}

void ArgumentReader::Value(std::string_view text, std::uint8_t& value) {
  const ByteArgument parsed = ParseValue(text);
  if (parsed.byte)
    value = *parsed.byte;
  else
    Error(parsed.error);
}

std::optional<long> ArgumentReader::Whole(std::optional<std::string_view> text, std::string_view what,
                                          long max) {
  if (!text) return std::nullopt;
  WholeArgument parsed = ParseWhole(*text, what, 1, max);
  if (!parsed.number) Error(std::move(parsed.error));
  return parsed.number;
}

void ArgumentReader::Format(std::string_view text, DumpFormat& format) {
  if (text == "text")
    format = DumpFormat::Text;
  else if (text == "csv")
    format = DumpFormat::Csv;
  else if (text == "json")
    format = DumpFormat::Json;
  else
    Error("--format must be text, csv or json, not '" + std::string(text) + "'");
}

void ArgumentReader::Writable(std::string_view file) {
  result_.files.emplace_back(file);
  std::string reason;
  if (!CanWriteFile(std::filesystem::path(file), reason)) Error(FileProblem(file, reason));
}

void ArgumentReader::NamedRegisters(std::string_view what) {
  if (!NamesAnyRegister(map_)) Error("no named register: nothing to " + std::string(what));
}

std::optional<std::string> ArgumentReader::File(std::string_view name) {
  result_.files.emplace_back(name);
  FileRead file = ReadFileWhole(std::filesystem::path(name));
  if (file.outcome == FileRead::Outcome::Loaded) return std::move(file.bytes);
  Error(FileProblem(name, file.Problem()));
  return std::nullopt;
}

std::vector<SnapshotEntry> ArgumentReader::Snapshot(std::string_view name) {
  const std::optional<std::string> bytes = File(name);
  if (!bytes) return {};
  SnapshotRead read = ParseSnapshot(*bytes, map_);
  for (const SnapshotNote& note : read.errors) Error(std::string(name) + ": " + NoteText(note));
  for (const SnapshotNote& note : read.warnings) {
    result_.warnings.push_back(std::string(name) + ": warning: " + NoteText(note));
  }
  return std::move(read.entries);
}

std::vector<LoggedWrite> ArgumentReader::LoggedWrites(std::string_view name) {
  result_.files.emplace_back(name);
  std::vector<LoggedWrite> writes;
  const FileRead file = ReadFileLines(std::filesystem::path(name), [&](std::string_view line) {
    if (const std::optional<LoggedWrite> write = SuccessfulWrite(line)) writes.push_back(*write);
  });
  if (file.outcome == FileRead::Outcome::Loaded) return writes;
  Error(FileProblem(name, file.Problem()));
  return {};
}

DiffSide ArgumentReader::Side(std::string_view operand) {
  DiffSide side;
  side.live = operand == "live";
  side.reset = operand == "reset";
  if (side.reset) {
    for (const ResetValue& reset : ResetValues(map_)) side.values[reset.address] = reset.value;
  } else if (!side.live) {
    for (const SnapshotEntry& entry : Snapshot(operand)) side.values[entry.address] = entry.value;
  }
  return side;
}

CommandParse ParseCommand(std::span<const std::string_view> words, const RegisterMap& map) {
  CommandParse result;
  const CommandSpec* spec = FindCommand(words.front());
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
  command.spec = spec;
  ArgumentReader reader(map, result);
  spec->read(reader, split, command);
  if (result.errors.empty()) result.command = std::move(command);
  return result;
}

std::string FileProblem(std::string_view file, std::string_view reason) {
  return std::string(file) + ": " + std::string(reason);
}

}  // namespace regdiag::cli
