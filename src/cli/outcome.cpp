#include "cli/outcome.h"

#include <cstdio>

#include "cli/terminal_text.h"
#include "core/text/link_log_text.h"

namespace regdiag::cli {

Verdict VerdictOf(Outcome outcome) { return outcome == Outcome::Ok ? Verdict::Success : Verdict::Failure; }

Verdict Worse(Verdict a, Verdict b) { return static_cast<int>(a) >= static_cast<int>(b) ? a : b; }

int ExitStatus(Verdict verdict) {
  switch (verdict) {
    case Verdict::Success:
      return 0;
    case Verdict::Failure:
      return 1;
    case Verdict::BadInput:
      return 2;
  }
  return 2;
}

void Complain(std::string_view text) { Output(stderr, "regdiag-cli: " + std::string(text) + "\n"); }

std::string FailureText(logtext::Access access, std::uint8_t address, Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok:
      break;
    case Outcome::NoBridge:
      return logtext::kNotDetected;
    case Outcome::NoAck:
      return logtext::TransactionLine(access, address, ReplyStatus::NoAck, 0);
    case Outcome::I2cError:
      return logtext::TransactionLine(access, address, ReplyStatus::I2cError, 0);
    case Outcome::TransferError:
      return logtext::TransferErrorLine(access, address);
    case Outcome::Cancelled:
      return "interrupted";
    case Outcome::Busy:  // one thread, one exchange at a time: never met here
      return "another transfer is in flight";
  }
  return {};
}

}  // namespace regdiag::cli
