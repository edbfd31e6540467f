// The options before the command:
//   regdiag-cli [--sim [--sim-fault KIND[@ADDR]]] [--map FILE] [--log[=FILE]] COMMAND ...
// and the usage text.
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

[[nodiscard]] std::string_view UsageText();

}  // namespace regdiag::cli
