// Registers that a sequence leaves out by the map's access rules: one log
// line each, in the sequence's frame, and nothing sent.
#include "core/transactions/register_engine.h"

namespace regdiag {

bool RegisterEngine::LoggedSkip(SequenceRule rule, std::uint8_t address) {
  const std::optional<SkipReason> reason = SkipFor(map_, rule, address);
  if (!reason) return false;
  session_.LogLine(SkipLine(address, *reason));
  return true;
}

}  // namespace regdiag
