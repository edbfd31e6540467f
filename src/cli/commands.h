// The commands of regdiag-cli, each run on a checked Command. Data goes to
// stdout, messages to stderr; each command returns what it came to.
//
// Threads: the engine's. A command that the owner cancels (Ctrl+C) returns
// promptly; ending the session is the owner's business afterwards.
#pragma once

#include "cli/command_parse.h"
#include "cli/console_log.h"
#include "cli/outcome.h"
#include "cli/progress.h"
#include "cli/terminal_text.h"
#include "core/link/waiter.h"
#include "core/transactions/register_engine.h"

namespace regdiag::cli {

// What a command runs with. Lifetime: the run's.
struct Console {
  const RegisterMap& map;
  RegisterEngine* engine;  // null for a command that needs no bridge
  Waiter& waiter;
  Progress& progress;
  ConsoleLog& log;
};

// How far a sequence got, for the message when it is interrupted:
// "interrupted after register 0x62 (99 of 256 written)", or for a replay
// "interrupted after register 0x62 (99 writes repeated)". A transfer counts
// once it has ended, whatever its outcome.
struct Tally {
  Tally() = default;
  Tally(std::string_view doneWord, std::size_t count) : done(doneWord), total(count) {}

  std::string_view done;  // "read", "written"; empty for a replay
  std::size_t total = 0;
  std::size_t count = 0;
  std::optional<std::uint8_t> last;

  void Count(std::uint8_t address, Outcome outcome) {
    if (outcome == Outcome::Cancelled) return;
    ++count;
    last = address;
  }
  [[nodiscard]] std::string InterruptedText() const;
};

// Single transactions, 10 ms apart when there are several.
[[nodiscard]] Verdict RunRead(const Command& command, Console& console);
[[nodiscard]] Verdict RunWrite(const Command& command, Console& console);
[[nodiscard]] Verdict RunWatch(const Command& command, Console& console);
[[nodiscard]] Verdict RunReplay(const Command& command, Console& console);
// Sequences with their log frames, as Read All and Write All run them.
[[nodiscard]] Verdict RunDump(const Command& command, Console& console);
[[nodiscard]] Verdict RunSave(const Command& command, Console& console);
[[nodiscard]] Verdict RunLoad(const Command& command, Console& console);
[[nodiscard]] Verdict RunDiff(const Command& command, Console& console);
// A map from an SVD register description; needs no map and no bridge.
[[nodiscard]] Verdict RunImport(const Command& command, Console& console);

// Shared by the commands.
// Data on stdout, escaped (terminal_text.h).
void Print(std::string_view text, Escapes escapes = Escapes::Text);
// A failed transaction on stderr (nothing for one the owner cancelled).
void ReportFailure(Console& console, logtext::Access access, std::uint8_t address, Outcome outcome);
// "register 0x12 reads back 0x04, not 0x05"
void ReportMismatch(std::uint8_t address, std::uint8_t read, std::uint8_t written);
// The verdict of a command that ran to `outcome`; when it was interrupted,
// says so (`interrupted`) on stderr and in a --log file, and fails.
[[nodiscard]] Verdict Conclude(Console& console, Outcome outcome,
                               const std::string& interrupted = "interrupted");

}  // namespace regdiag::cli
