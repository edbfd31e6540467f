// read, write, watch and replay: single transactions.
#include <cstdio>
#include <functional>
#include <utility>

#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "core/text/hex_value.h"
#include "core/text/link_log_text.h"

namespace regdiag::cli {

namespace {

std::uint8_t CachedValue(RegisterEngine& engine, std::uint8_t address) {
  return static_cast<std::uint8_t>(engine.Cache()[address] & 0xFF);
}

// A single transaction begins with the bridge check, as a click on Read or
// Write does. Without a bridge the rest of a command would fail alike, so
// the first NoBridge ends it. A command's transactions all go to the bridge
// held when it began (`claim`): on another one they fail.
Outcome Checked(RegisterEngine& engine, std::uint64_t claim, const std::function<Outcome()>& transaction) {
  return engine.BridgeConnected() ? engine.OnBridge(claim, transaction) : Outcome::NoBridge;
}

Outcome Read(RegisterEngine& engine, std::uint64_t claim, std::uint8_t address) {
  return Checked(engine, claim, [&] { return engine.ReadRegister(address); });
}

Outcome Write(RegisterEngine& engine, std::uint64_t claim, std::uint8_t address, std::uint8_t value) {
  return Checked(engine, claim, [&] { return engine.WriteRegister(address, value); });
}

// What read and watch print of a register or of its field.
std::string ReadLine(const Console& console, const Command& command, std::size_t i, std::uint8_t value) {
  const RegisterField* field = command.fields[i];
  return field == nullptr ? RegisterLine(console.map, command.registers[i], value)
                          : FieldReadLine(console.map, command.registers[i], *field, value);
}

// A field write starts from the register as read, or from a write-only
// register's reset value; `sent` gets what it sends.
Outcome WriteField(const Command& command, Console& console, std::uint64_t claim, std::uint8_t& sent) {
  RegisterEngine& engine = *console.engine;
  const std::uint8_t address = command.registers.front();
  std::optional<std::uint8_t> base = FieldWriteBase(console.map, address);
  if (!base) {
    const Outcome outcome = Read(engine, claim, address);
    ReportFailure(console, logtext::Access::Read, address, outcome);
    if (outcome != Outcome::Ok) return outcome;
    if (!console.waiter.Pause(kSequencePauseMs)) return Outcome::Cancelled;
    base = CachedValue(engine, address);
  }
  sent = ComposeFieldWrite(console.map, address, *command.fields.front(), command.value, *base);
  const Outcome outcome = Write(engine, claim, address, sent);
  ReportFailure(console, logtext::Access::Write, address, outcome);
  return outcome;
}

}  // namespace

void Print(std::string_view text, Escapes escapes) { Output(stdout, text, escapes); }

void ReportFailure(Console& console, logtext::Access access, std::uint8_t address, Outcome outcome) {
  if (outcome == Outcome::Ok || outcome == Outcome::Cancelled) return;
  console.progress.Done();
  Complain(FailureText(access, address, outcome));
}

void ReportMismatch(std::uint8_t address, std::uint8_t read, std::uint8_t written) {
  Complain("register 0x" + HexByteText(address) + " reads back 0x" + HexByteText(read) + ", not 0x" +
           HexByteText(written));
}

std::string Tally::InterruptedText() const {
  std::string text = "interrupted";
  if (last) text += " after register 0x" + HexByteText(*last);
  if (done.empty()) return text + " (" + std::to_string(count) + " writes repeated)";
  return text + " (" + std::to_string(count) + " of " + std::to_string(total) + " " + std::string(done) + ")";
}

Verdict Conclude(Console& console, Outcome outcome, const std::string& interrupted) {
  if (!console.waiter.Cancelled()) return VerdictOf(outcome);
  console.progress.Done();
  Complain(interrupted);
  console.log.FileLine(interrupted);
  return Verdict::Failure;
}

Verdict RunRead(const Command& command, Console& console) {
  RegisterEngine& engine = *console.engine;
  const std::uint64_t claim = engine.BridgeClaim();
  Outcome result = Outcome::Ok;
  for (std::size_t i = 0; i < command.registers.size(); ++i) {
    if (i > 0 && !console.waiter.Pause(kSequencePauseMs)) break;
    const std::uint8_t address = command.registers[i];
    const Outcome outcome = Read(engine, claim, address);
    if (outcome == Outcome::Ok) Print(ReadLine(console, command, i, CachedValue(engine, address)));
    ReportFailure(console, logtext::Access::Read, address, outcome);
    result = Worse(result, outcome);
    if (outcome == Outcome::NoBridge) break;
  }
  return Conclude(console, result);
}

Verdict RunWrite(const Command& command, Console& console) {
  RegisterEngine& engine = *console.engine;
  const std::uint8_t address = command.registers.front();
  const std::uint64_t claim = engine.BridgeClaim();
  std::uint8_t sent = command.value;
  Outcome outcome = Outcome::Ok;
  if (command.fields.front() == nullptr) {
    outcome = Write(engine, claim, address, sent);
    ReportFailure(console, logtext::Access::Write, address, outcome);
  } else {
    outcome = WriteField(command, console, claim, sent);
  }
  if (outcome != Outcome::Ok || !command.verify) return Conclude(console, outcome);
  if (!console.waiter.Pause(kSequencePauseMs)) return Conclude(console, Outcome::Cancelled);
  outcome = Read(engine, claim, address);
  ReportFailure(console, logtext::Access::Read, address, outcome);
  if (outcome != Outcome::Ok) return Conclude(console, outcome);
  // Only the read-write bits must read back as written.
  if (((CachedValue(engine, address) ^ sent) & VerifyMask(console.map, address)) == 0)
    return Verdict::Success;
  ReportMismatch(address, CachedValue(engine, address), sent);
  return Verdict::Failure;
}

// Ctrl+C is how a watch without a count ends: it ends the watch well.
Verdict RunWatch(const Command& command, Console& console) {
  RegisterEngine& engine = *console.engine;
  const std::uint8_t address = command.registers.front();
  std::optional<std::uint8_t> shown;
  long reads = 0;
  const std::uint64_t claim = engine.BridgeClaim();
  for (;;) {
    const Outcome outcome = Read(engine, claim, address);
    if (outcome == Outcome::Cancelled) return Verdict::Success;
    if (outcome != Outcome::Ok) {
      ReportFailure(console, logtext::Access::Read, address, outcome);
      return Verdict::Failure;
    }
    const RegisterField* field = command.fields.front();
    const std::uint8_t value = CachedValue(engine, address);
    if (shown != (field == nullptr ? value : field->ValueIn(value))) {
      shown = field == nullptr ? value : field->ValueIn(value);
      Print(ReadLine(console, command, 0, value));
      std::fflush(stdout);
    }
    if (command.count && ++reads >= *command.count) return Verdict::Success;
    if (!console.waiter.Pause(command.intervalMs)) return Verdict::Success;
  }
}

Verdict RunReplay(const Command& command, Console& console) {
  if (command.writes.empty()) {
    Complain(command.file + " holds no successful writes: nothing sent");
    return Verdict::Success;
  }
  RegisterEngine& engine = *console.engine;
  const std::uint64_t claim = engine.BridgeClaim();
  Outcome result = Outcome::Ok;
  Tally tally{"", command.writes.size()};
  bool sent = false;
  for (std::size_t i = 0; i < command.writes.size(); ++i) {
    const LoggedWrite& write = command.writes[i];
    if (engine.LoggedSkip(SequenceRule::Replay, write.address)) continue;
    if (std::exchange(sent, true) && !console.waiter.Pause(kSequencePauseMs)) break;
    console.progress.Show("writing", i + 1, command.writes.size());
    const Outcome outcome = Write(engine, claim, write.address, write.value);
    tally.Count(write.address, outcome);
    ReportFailure(console, logtext::Access::Write, write.address, outcome);
    result = Worse(result, outcome);
    if (outcome == Outcome::NoBridge) break;
  }
  console.progress.Done();
  return Conclude(console, result, tally.InterruptedText());
}

}  // namespace regdiag::cli
