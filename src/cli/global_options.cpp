#include "cli/global_options.h"

#include <array>
#include <utility>

#include "cli/arguments.h"

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

constexpr std::string_view kUsage =
    "usage: regdiag-cli [--sim [--sim-fault KIND[@ADDR]]] [--map FILE] [--log[=FILE]] COMMAND ...\n"
    "  read REG...                 one line per register: address, name, value\n"
    "  write REG VALUE [--verify]  --verify reads the value back and fails on a mismatch\n"
    "  dump [--format text|csv|json]   every named register, in address order, with its named bits\n"
    "  save FILE                   a snapshot of every named register\n"
    "  load FILE [--verify]        writes the snapshot's registers in address order, 10 ms apart\n"
    "  diff A B                    A and B are snapshot files or the word live; lists the registers\n"
    "                              and named bits that differ\n"
    "  replay LOGFILE              repeats, in order, the successful writes in a saved log\n"
    "  watch REG [--interval MS] [--count N]   polls a register and prints a line when it changes\n"
    "REG is 0x12, 18, &H12 or a register name from the map; VALUE is 0 to 255, written the same ways.\n"
    "The map is the tabdefs.csv beside the program unless --map names another. --sim uses a simulated\n"
    "bridge; --sim-fault KIND is one of nack, i2c-error, transfer-error, timeout, short, late, unplugged,\n"
    "or stale (a reply nobody asked for waits in the bridge when it is plugged in; no @ADDR).\n"
    "Exit status: 0 when every transaction succeeded (diff: A and B agree), 1 when any failed\n"
    "(diff: they differ), 2 for bad usage or a bad file.\n";

}  // namespace

GlobalParse ParseGlobalOptions(std::span<char* const> args) {
  GlobalOptions options;
  std::size_t next = 0;
  for (; next < args.size(); ++next) {
    const std::string_view word = args[next];
    if (!word.starts_with("--")) break;
    if (word == "--help") {
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

std::string_view UsageText() { return kUsage; }

}  // namespace regdiag::cli
