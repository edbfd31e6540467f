#include "cli/cli_main.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_parse.h"
#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/console_bridge.h"
#include "cli/console_log.h"
#include "cli/console_waiter.h"
#include "cli/global_options.h"
#include "cli/progress.h"
#include "core/map/map_file.h"
#include "core/text/link_log_text.h"

namespace regdiag::cli {

namespace {

// The folder of the program itself, also when it was started through a link.
std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path(".") : program.parent_path();
}

// The map named by --map, or the one that check checks, must be there;
// otherwise the window's rule holds: the program goes on without a map
// after saying so.
bool LoadMap(const std::filesystem::path& path, const GlobalOptions& options, RegisterMap& map) {
  const FileRead file = ReadFileWhole(path);
  if (file.outcome == FileRead::Outcome::Loaded) {
    map = ParseRegisterMap(file.bytes);
    if (!NamesAnyRegister(map)) Complain(MapNamesNoRegisterMessage(path.string()));
    return true;
  }
  const bool checked = !options.command.empty() && options.command.front() == "check";
  if (file.outcome == FileRead::Outcome::NotFound && !options.mapFile && !checked) {
    Complain(kMapNotFoundMessage);
    return true;
  }
  Complain(FileProblem(path.string(), file.Problem()));
  return false;
}

// Whether two names lead to one file, through links too; a file not made
// yet is the same as another name for where it would be made.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  if (std::filesystem::equivalent(a, b, error)) return true;
  const std::filesystem::path realA = std::filesystem::weakly_canonical(std::filesystem::absolute(a), error);
  if (error) return false;
  return realA == std::filesystem::weakly_canonical(std::filesystem::absolute(b), error) && !error;
}

// The log is emptied when it opens: it must be no file the command uses.
bool OpenLog(const GlobalOptions& options, const std::vector<std::string>& files, ConsoleLog& log) {
  if (!options.log) return true;
  for (const std::string& file : files) {
    if (options.logFile && SameFile(*options.logFile, file)) {
      Complain("--log=" + std::string(*options.logFile) + " names " + file +
               ", a file that the command uses");
      return false;
    }
  }
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
  Console console{map, nullptr, waiter, progress, log};
  std::optional<ConsoleBridge> bridge;
  if (command.spec->needsBridge(command)) {
    bridge.emplace(choice, map, log, waiter);
    bridge->Start();
    if (waiter.Cancelled()) return Conclude(console, Outcome::Cancelled);
    // The start-up has logged that no bridge is there; the command would
    // only log it again. diff cannot compare without one.
    if (!bridge->Engine().Session().Connected()) {
      Complain(logtext::kNotDetected);
      return command.spec->name == "diff" ? Verdict::BadInput : Verdict::Failure;
    }
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
  const std::filesystem::path mapPath =
      options.mapFile ? std::filesystem::path(*options.mapFile) : ProgramFolder() / kMapFileName;
  RegisterMap map;
  // import makes a map: it reads none.
  const bool readsMap = options.command.empty() || options.command.front() != "import";
  if (readsMap && !LoadMap(mapPath, options, map)) return Verdict::BadInput;
  const BridgeParse bridge = ParseBridgeChoice(options, map);
  if (!bridge.bridge) Complain(bridge.error);
  CommandParse parsed = ParseCommand(options.command, map);
  if (readsMap) parsed.files.push_back(mapPath.string());
  for (const std::string& warning : parsed.warnings) Complain(warning);
  for (const std::string& error : parsed.errors) Complain(error);
  if (!bridge.bridge || !parsed.command) return Verdict::BadInput;

  ConsoleLog log;
  if (!OpenLog(options, parsed.files, log)) return Verdict::BadInput;
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
