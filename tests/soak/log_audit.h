// Reads the session log as it grows and holds every new line against the
// lines the system writes: each must have one of the known forms, lines that
// continue an entry must follow its first line, and every transaction line
// must belong either to one recorded exchange, with the outcome and value
// that exchange must give, or to a transaction that failed before any
// transfer (right after the pipe entry that says why).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "exchange_monitor.h"

namespace regdiag::soak {

struct TransactionEntry {
  std::size_t offset = 0;  // where the line starts in the log
  logtext::Access access = logtext::Access::Read;
  std::uint8_t address = 0;
  Outcome outcome = Outcome::Success;
  std::uint8_t value = 0;  // for a success
};

// The transaction a log line reports, if it is one.
[[nodiscard]] std::optional<TransactionEntry> ParseTransactionLine(const std::string& line,
                                                                   std::size_t offset);

class LogAudit {
 public:
  // Audits the log from where the last call stopped to its end, with the
  // exchanges made meanwhile. Returns the transaction lines found; problems
  // are added to `problems`.
  std::vector<TransactionEntry> Audit(const std::string& log, const std::vector<Exchange>& exchanges,
                                      std::vector<std::string>& problems);
  // The log was cleared: it starts again from nothing.
  void Restart();
  [[nodiscard]] std::size_t LinesSeen() const { return linesSeen_; }

 private:
  struct Line {
    std::size_t offset;
    std::string text;
    int form;
  };
  void MatchExchanges(const std::vector<Line>& lines, const std::vector<TransactionEntry>& entries,
                      const std::vector<Exchange>& exchanges, std::vector<std::string>& problems) const;
  [[nodiscard]] static bool LinesBetween(const std::vector<Line>& lines, std::size_t from, std::size_t index,
                                         const std::vector<std::string>& expected);
  // True when the line before `index` says why a transaction failed without
  // (or before) its transfer.
  [[nodiscard]] bool FollowsPipeFailure(const std::vector<Line>& lines, std::size_t index) const;

  std::size_t mark_ = 0;
  int previousForm_ = -1;  // the form of the last line audited, -1 for none
  int formBeforePrevious_ = -1;
  std::size_t linesSeen_ = 0;
};

}  // namespace regdiag::soak
