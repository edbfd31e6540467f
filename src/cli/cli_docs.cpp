// regdiag-cli-docs: makes regdiag-cli's man page and bash completion at
// build time from the command table and the options the program itself
// knows, so that neither can drift from --help. Not installed.
//
//   regdiag-cli-docs TEMPLATE OUTPUT
//
// Copies TEMPLATE to OUTPUT with each line that reads "@KEY@" replaced by
// what KEY stands for (see kKeys); a key it does not know is an error.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "cli/command_table.h"
#include "cli/global_options.h"
#include "core/files/file_read.h"
#include "core/files/file_write.h"
#include "core/text/lines.h"

namespace regdiag::cli {
namespace {

// Text as troff reads it: a backslash is written \e, a minus \- (so that
// options copy as typed), and a line that would start with a control
// character is guarded.
std::string Roff(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

std::string ManTitle() {
  return ".TH REGDIAG-CLI 1 \"\" \"regdiag " REGDIAG_VERSION "\" \"User Commands\"\n";
}

std::string ManSynopsis() {
  const std::string_view synopsis = Synopsis();
  const std::size_t blank = synopsis.find(' ');
  return ".B " + Roff(synopsis.substr(0, blank)) + "\n" + Roff(synopsis.substr(blank + 1)) + "\n";
}

std::string ManCommands() {
  std::string text;
  for (const CommandSpec& command : CommandTable()) {
    std::string summary(command.summary);
    for (char& c : summary) c = c == '\n' ? ' ' : c;
    text += ".TP\n.B " + Roff(command.Usage()) + "\n" + Roff(summary) + "\n";
  }
  return text;
}

std::string ManOptions() {
  std::string text;
  for (const OptionDoc& option : GlobalOptionDocs()) {
    // "--map FILE", but "--log[=FILE]".
    const std::string_view gap = option.value.empty() || option.value.starts_with('[') ? "" : " ";
    text += ".TP\n\\fB" + Roff(option.name) + "\\fR" + std::string(gap) + Roff(option.value) + "\n" +
            Roff(option.summary) + "\n";
  }
  return text;
}

// Shell words for the completion: the commands with their operands and
// options ("--format=text|csv|json" for an option and its values), the
// options before a command, the kinds of --sim-fault.
std::string CompletionTable() {
  std::string commands;
  std::string operands;
  std::string options;
  for (const CommandSpec& command : CommandTable()) {
    const std::string name(command.name);
    commands += (commands.empty() ? "" : " ") + name;
    operands.append(" [").append(name).append("]=\"").append(command.operands).append("\"");
    std::string words;
    for (const OptionSpec& option : command.options) {
      if (option.name.empty()) continue;
      words += (words.empty() ? "" : " ") + std::string(option.name);
      if (!option.value.empty()) words += "=" + std::string(option.value);
    }
    options.append(" [").append(name).append("]=\"").append(words).append("\"");
  }
  std::string global;
  for (const OptionDoc& option : GlobalOptionDocs())
    global += (global.empty() ? "" : " ") + std::string(option.name);
  return "_regdiag_cli_commands=\"" + commands + "\"\n_regdiag_cli_global=\"" + global +
         "\"\n_regdiag_cli_faults=\"" + FaultKindsText(" ") + "\"\ndeclare -gA _regdiag_cli_operands=(" +
         operands + " )\ndeclare -gA _regdiag_cli_options=(" + options + " )\n";
}

using Maker = std::string (*)();
const std::pair<std::string_view, Maker> kKeys[] = {
    {"@TITLE@", ManTitle},
    {"@SYNOPSIS@", ManSynopsis},
    {"@COMMANDS@", ManCommands},
    {"@OPTIONS@", ManOptions},
    {"@NOTES@", [] { return Roff(HelpNotes()); }},
    {"@EXIT_STATUS@", [] { return Roff(ExitStatusText()); }},
    {"@COMPLETION_TABLE@", CompletionTable},
};

bool Fill(std::string_view templateBytes, std::string& out) {
  LineSplitter lines(templateBytes);
  while (const std::optional<std::string_view> line = lines.Next()) {
    if (!line->starts_with('@')) {
      out.append(*line).append("\n");
      continue;
    }
    const auto* key = std::ranges::find(kKeys, *line, &std::pair<std::string_view, Maker>::first);
    if (key == std::end(kKeys)) {
      std::fprintf(stderr, "regdiag-cli-docs: unknown key %.*s\n", static_cast<int>(line->size()),
                   line->data());
      return false;
    }
    out += key->second();
  }
  return true;
}

int Failed(std::string_view file, std::string_view reason) {
  std::fprintf(stderr, "regdiag-cli-docs: %s\n", FileProblem(file, reason).c_str());
  return 1;
}

int Make(std::span<char* const> args) {
  if (args.size() != 3) {
    std::fputs("usage: regdiag-cli-docs TEMPLATE OUTPUT\n", stderr);
    return 2;
  }
  const FileRead read = ReadFileWhole(args[1]);
  if (read.outcome != FileRead::Outcome::Loaded) return Failed(args[1], read.Problem());
  std::string text;
  if (!Fill(read.bytes, text)) return 1;
  std::string reason;
  return WriteFileWhole(args[2], text, reason) ? 0 : Failed(args[2], reason);
}

}  // namespace
}  // namespace regdiag::cli

int main(int argc, char** argv) {
  return regdiag::cli::Make(std::span<char* const>(argv, static_cast<std::size_t>(argc)));
}
