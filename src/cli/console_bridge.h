// The bridge as regdiag-cli talks to it: the USB library (libusb, or the
// simulated bridge with regdiag-sim's virtual chip and demo values), the
// value cache and the engine over them.
//
// Threads: the engine's. Lifetime: the map, log and waiter must outlive it.
// Its destructor ends the driver session; the owner has cancelled (Ctrl+C)
// before that, so a transfer in flight has already given up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "cli/console_log.h"
#include "cli/console_waiter.h"
#include "backends/sim/sim_usb_library.h"
#include "core/map/register_map.h"
#include "core/transactions/register_engine.h"

namespace regdiag::cli {

// What stands in for the bridge.
struct BridgeChoice {
  bool simulated = false;
  // --sim-fault: a fault for every matching exchange, or for one register's.
  std::optional<usb::SimUsbLibrary::Fault> fault;
  std::optional<std::uint8_t> faultAddress;
  // `unplugged` with no address: no simulated bridge at all.
  bool plugged = true;
  // `stale`: the bridge holds a reply nobody asked for when it is plugged in.
  bool staleReply = false;
};

class ConsoleBridge {
 public:
  ConsoleBridge(const BridgeChoice& choice, const RegisterMap& map, ConsoleLog& log, ConsoleWaiter& waiter);
  ~ConsoleBridge();
  ConsoleBridge(const ConsoleBridge&) = delete;
  ConsoleBridge& operator=(const ConsoleBridge&) = delete;

  // The driver start-up: waits for the bridge only until it is accepted, at
  // most 1000 ms, then lets the log out.
  void Start();
  [[nodiscard]] RegisterEngine& Engine() { return engine_; }

 private:
  std::unique_ptr<usb::UsbLibrary> library_;  // first in, last out
  RegisterValueCache cache_{};
  ConsoleLog& log_;
  ConsoleWaiter& waiter_;
  RegisterEngine engine_;
};

}  // namespace regdiag::cli
