#include "cli/console_bridge.h"

#include "backends/libusb/libusb_library.h"

namespace regdiag::cli {

namespace {

// The simulated chip follows the access rules of the map the program read.
std::unique_ptr<usb::UsbLibrary> MakeLibrary(const BridgeChoice& choice, const RegisterMap& map) {
  if (!choice.simulated) return std::make_unique<usb::LibusbLibrary>();
  auto sim = std::make_unique<usb::SimUsbLibrary>();
  sim->FollowRules(usb::ChipRulesOf(map));
  if (choice.staleReply) sim->LeaveReplyAtNextPlug();
  if (choice.plugged) sim->Bridge(sim->Plug()).LoadDemoValues();
  if (choice.fault) sim->SetStandingFault(choice.fault, choice.faultAddress);
  return sim;
}

}  // namespace

ConsoleBridge::ConsoleBridge(const BridgeChoice& choice, const RegisterMap& map, ConsoleLog& log,
                             ConsoleWaiter& waiter)
    : library_(MakeLibrary(choice, map)),
      log_(log),
      waiter_(waiter),
      engine_(*library_, map, cache_, log, waiter, [&waiter] { waiter.Wake(); }) {
  waiter_.Serve([this] { engine_.Session().RunNotifications(); });
}

ConsoleBridge::~ConsoleBridge() {
  engine_.Session().End();
  waiter_.Serve({});
}

void ConsoleBridge::Start() {
  engine_.Session().Start(BridgeSession::StartWait::UntilAttached);
  log_.Release();
}

}  // namespace regdiag::cli
