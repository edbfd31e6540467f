// The options before the command:
//   regdiag-cli [--sim [--sim-fault KIND[@ADDR]]] [--map FILE] [--log[=FILE]] COMMAND ...
// and the usage text, made from the pieces below and the command table.
//
// Plain functions with no state.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console_bridge.h"
#include "core/map/register_map.h"

namespace regdiag::cli {

struct GlobalOptions {
  bool help = false;
  bool sim = false;
  std::optional<std::string_view> simFault;  // KIND[@ADDR] as given
  std::optional<std::string_view> mapFile;
  bool log = false;
  std::optional<std::string_view> logFile;  // with --log=FILE
  std::vector<std::string_view> command;    // COMMAND and the words after it
};

struct GlobalParse {
  std::optional<GlobalOptions> options;
  std::string error;
};

// `args` without the program's name.
[[nodiscard]] GlobalParse ParseGlobalOptions(std::span<char* const> args);

// The bridge that --sim and --sim-fault ask for; ADDR is read as a REG
// argument, so it needs the map.
struct BridgeParse {
  std::optional<BridgeChoice> bridge;
  std::string error;
};
[[nodiscard]] BridgeParse ParseBridgeChoice(const GlobalOptions& options, const RegisterMap& map);

// What --help prints: the synopsis, a line or two for each command, the
// notes and the exit status.
[[nodiscard]] std::string UsageText();

// The pieces of the usage, for the man page and the completion too.
// "regdiag-cli [--sim ...] COMMAND ..."
[[nodiscard]] std::string_view Synopsis();
// Each option before the command, with the value it takes, as "[=FILE]"
// for one given with an equals sign only.
struct OptionDoc {
  std::string_view name;
  std::string_view value;
  std::string_view summary;
};
[[nodiscard]] std::span<const OptionDoc> GlobalOptionDocs();
// "nack, i2c-error, ..." with this separator.
[[nodiscard]] std::string FaultKindsText(std::string_view separator);
// What REG and VALUE are, where the map comes from, the simulated bridge.
[[nodiscard]] std::string HelpNotes();
[[nodiscard]] std::string_view ExitStatusText();

}  // namespace regdiag::cli
