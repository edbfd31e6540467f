#include "cli/global_options.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "cli/arguments.h"
#include "cli/command_table.h"

namespace regdiag::cli {

namespace {

using Fault = usb::SimUsbLibrary::Fault;

constexpr std::array<std::pair<std::string_view, Fault>, 7> kFaultKinds{{
    {"nack", Fault::NoAck},
    {"i2c-error", Fault::I2cError},
    {"transfer-error", Fault::TransferError},
    {"timeout", Fault::Timeout},
    {"short", Fault::StatusOnly},
    {"late", Fault::Late},
    {"unplugged", Fault::Unplug},
}};

constexpr std::string_view kSynopsis =
    "regdiag-cli [--sim [--sim-fault KIND[@ADDR]]] [--map FILE] [--log[=FILE]] COMMAND ...";

constexpr std::array<OptionDoc, 5> kOptionDocs{{
    {"--sim", "", "uses a simulated bridge with regdiag-sim's virtual chip"},
    {"--sim-fault", "KIND[@ADDR]",
     "makes every transfer of the simulated bridge, or only those to register ADDR, fail as KIND; "
     "unplugged alone means no bridge at all"},
    {"--map", "FILE", "reads the register map from FILE instead of the tabdefs.csv beside the program"},
    {"--log", "[=FILE]",
     "writes the window's own log lines to stderr, or to FILE with CR LF line ends, as the window saves "
     "its log"},
    {"--help", "", "(or -h) prints the usage; -- ends the options, and no option may be given twice"},
}};

}  // namespace

std::string_view Synopsis() { return kSynopsis; }

std::span<const OptionDoc> GlobalOptionDocs() { return kOptionDocs; }

std::string FaultKindsText(std::string_view separator) {
  std::string text;
  for (const auto& [name, fault] : kFaultKinds) text.append(text.empty() ? "" : separator).append(name);
  // A reply waiting when the bridge is plugged in belongs to no register.
  return text.append(separator).append("stale");
}

std::string HelpNotes() {
  return "REG is 0x12, 18, &H12 or a register name from the map; VALUE is 0 to 255, written the same ways.\n"
         "The map is the tabdefs.csv beside the program unless --map names another. --sim uses a simulated\n"
         "bridge; --sim-fault KIND is one of " +
         FaultKindsText(", ") + ".\n";
}

std::string_view ExitStatusText() {
  return "Exit status: 0 when every transaction succeeded (diff: A and B agree), 1 when any failed or\n"
         "was interrupted (diff: they differ), 2 for bad usage or a bad file, before anything is sent\n"
         "(diff: also when it cannot compare, as when a live read fails).\n";
}

std::string UsageText() {
  return "usage: " + std::string(kSynopsis) + "\n" + CommandsHelp() + HelpNotes() +
         std::string(ExitStatusText());
}

// Each option may be given once; "--" ends them, and "-h" is "--help".
GlobalParse ParseGlobalOptions(std::span<char* const> args) {
  GlobalOptions options;
  std::vector<std::string_view> seen;
  std::size_t next = 0;
  for (; next < args.size(); ++next) {
    const std::string_view word = args[next];
    if (word == "--") {
      ++next;
      break;
    }
    if (!word.starts_with("--") && word != "-h") break;
    const std::string_view name = word == "-h" ? "--help" : word.substr(0, word.find('='));
    if (std::ranges::find(seen, name) != seen.end())
      return {std::nullopt, std::string(name) + " given twice"};
    seen.push_back(name);
    if (name == "--help") {
      options.help = true;
    } else if (word == "--sim") {
      options.sim = true;
    } else if (word == "--log") {
      options.log = true;
    } else if (word.starts_with("--log=") && word.size() > 6) {
      options.log = true;
      options.logFile = word.substr(6);
    } else if ((word == "--map" || word == "--sim-fault") && next + 1 < args.size()) {
      (word == "--map" ? options.mapFile : options.simFault) = args[++next];
    } else if (word.starts_with("--map=") || word.starts_with("--sim-fault=")) {
      const std::size_t equals = word.find('=');
      (word.starts_with("--map") ? options.mapFile : options.simFault) = word.substr(equals + 1);
    } else {
      return {std::nullopt, "unknown option or missing argument: " + std::string(word)};
    }
  }
  if (options.simFault && !options.sim) return {std::nullopt, "--sim-fault needs --sim"};
  options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
  if (options.command.empty() && !options.help) return {std::nullopt, "no command given"};
  return {std::move(options), {}};
}

BridgeParse ParseBridgeChoice(const GlobalOptions& options, const RegisterMap& map) {
  BridgeChoice bridge{options.sim, std::nullopt, std::nullopt, true, false};
  if (!options.simFault) return {bridge, {}};
  const std::string_view text = *options.simFault;
  const std::size_t at = text.find('@');
  const std::string_view kind = text.substr(0, at);
  if (kind == "stale") {
    // The reply is there before any request: it belongs to no register.
    if (at != std::string_view::npos) return {std::nullopt, "--sim-fault: stale takes no @ADDR"};
    bridge.staleReply = true;
    return {bridge, {}};
  }
  for (const auto& [name, fault] : kFaultKinds) {
    if (name == kind) bridge.fault = fault;
  }
  if (!bridge.fault) return {std::nullopt, "unknown --sim-fault kind '" + std::string(kind) + "'"};
  if (at == std::string_view::npos) {
    // Unplugged everywhere: there is no bridge at all.
    if (bridge.fault == Fault::Unplug) {
      bridge.plugged = false;
      bridge.fault.reset();
    }
    return {bridge, {}};
  }
  const ByteArgument address = ParseRegister(text.substr(at + 1), map);
  if (!address.byte) return {std::nullopt, "--sim-fault: " + address.error};
  bridge.faultAddress = address.byte;
  return {bridge, {}};
}

}  // namespace regdiag::cli
