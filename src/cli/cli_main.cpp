#include "cli/cli_main.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/command_parse.h"
#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/console_bridge.h"
#include "cli/console_log.h"
#include "cli/console_waiter.h"
#include "cli/global_options.h"
#include "cli/progress.h"
#include "core/map/map_file.h"

namespace regdiag::cli {

namespace {

// The folder of the program itself, also when it was started through a link.
std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path(".") : program.parent_path();
}

// The map named by --map must be there; without --map the window's rule
// holds: the program goes on without a map after saying so.
bool LoadMap(const GlobalOptions& options, RegisterMap& map) {
  const std::filesystem::path path =
      options.mapFile ? std::filesystem::path(*options.mapFile) : ProgramFolder() / kMapFileName;
  const FileRead file = ReadFileWhole(path);
  if (file.outcome == FileRead::Outcome::Loaded) {
    map = ParseRegisterMap(file.bytes);
    return true;
  }
  if (file.outcome == FileRead::Outcome::NotFound && !options.mapFile) {
    Complain(kMapNotFoundMessage);
    return true;
  }
  Complain(FileProblem(path.string(), file.Problem()));
  return false;
}

bool OpenLog(const GlobalOptions& options, ConsoleLog& log) {
  if (!options.log) return true;
  if (!options.logFile) {
    log.ToStderr();
    return true;
  }
  std::string reason;
  if (log.ToFile(std::filesystem::path(*options.logFile), reason)) return true;
  Complain(FileProblem(*options.logFile, reason));
  return false;
}

// Opens the session only for a command that talks to the bridge. The bridge
// goes (and the session ends) after the command has returned, cancelled or
// not; the waiter and the log outlive it.
Verdict Execute(const Command& command, const BridgeChoice& choice, const RegisterMap& map, ConsoleLog& log) {
  CatchInterrupts();
  ConsoleWaiter waiter(InterruptFlag());
  Progress progress(log.OnStderr());
  Console console{map, nullptr, waiter, progress};
  std::optional<ConsoleBridge> bridge;
  if (command.spec->needsBridge(command)) {
    bridge.emplace(choice, map, log, waiter);
    bridge->Start();
    if (waiter.Cancelled()) return Conclude(console, Outcome::Cancelled);
    console.engine = &bridge->Engine();
  }
  return command.spec->run(command, console);
}

}  // namespace

Verdict Run(std::span<char* const> args) {
  const GlobalParse global = ParseGlobalOptions(args);
  if (!global.options) {
    Complain(global.error + " (see regdiag-cli --help)");
    return Verdict::BadInput;
  }
  const GlobalOptions& options = *global.options;
  if (options.help) {
    Print(UsageText());
    return Verdict::Success;
  }
  RegisterMap map;
  if (!LoadMap(options, map)) return Verdict::BadInput;
  const BridgeParse bridge = ParseBridgeChoice(options, map);
  if (!bridge.bridge) Complain(bridge.error);
  const CommandParse parsed = ParseCommand(options.command, map);
  for (const std::string& warning : parsed.warnings) Complain(warning);
  for (const std::string& error : parsed.errors) Complain(error);
  if (!bridge.bridge || !parsed.command) return Verdict::BadInput;

  ConsoleLog log;
  if (!OpenLog(options, log)) return Verdict::BadInput;
  Verdict verdict = Execute(*parsed.command, *bridge.bridge, map, log);
  if (!log.Close()) {
    Complain(std::string(options.logFile.value_or("the log")) + ": could not be written whole");
    verdict = Worse(verdict, Verdict::Failure);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    Complain("the output could not be written whole");
    verdict = Worse(verdict, Verdict::Failure);
  }
  return verdict;
}

}  // namespace regdiag::cli
