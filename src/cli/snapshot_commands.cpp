// dump, save, load and diff: sequences over many registers, framed in the
// log as Read All and Write All frame theirs.
#include <vector>

#include "cli/commands.h"
#include "core/files/file_write.h"
#include "core/map/register_snapshot.h"
#include "core/text/link_log_text.h"

namespace regdiag::cli {

namespace {

// Reads `addresses` 10 ms apart under the Read All header, leaving out, as
// Read All does, the registers whose read changes them and the write-only
// ones; `values` gets every value that came back with a success.
Outcome ReadSequence(Console& console, std::span<const std::uint8_t> addresses, RegisterValues& values,
                     Tally& tally) {
  RegisterEngine& engine = *console.engine;
  tally = Tally{"read", addresses.size()};
  const Outcome outcome = engine.ForEachAddress(
      logtext::kReadAllHeader, addresses,
      [&](std::uint8_t address) {
        console.progress.Show("reading", tally.count + 1, addresses.size());
        const Outcome read = engine.ReadRegister(address);
        if (read == Outcome::Ok) values[address] = static_cast<std::uint8_t>(engine.Cache()[address] & 0xFF);
        tally.Count(address, read);
        ReportFailure(console, logtext::Access::Read, address, read);
        return read;
      },
      SequenceRule::WholeRead);
  console.progress.Done();
  if (outcome == Outcome::NoBridge) Complain(logtext::kNotDetected);
  return outcome;
}

std::vector<std::uint8_t> AddressesOf(const RegisterValues& values) {
  std::vector<std::uint8_t> addresses;
  for (int address = 0; address < kRegisterCount; ++address) {
    if (values[address]) addresses.push_back(static_cast<std::uint8_t>(address));
  }
  return addresses;
}

}  // namespace

Verdict RunDump(const Command& command, Console& console) {
  RegisterValues values{};
  Tally tally;
  const Outcome outcome = ReadSequence(console, console.engine->NamedAddresses(), values, tally);
  if (outcome != Outcome::NoBridge && !console.waiter.Cancelled()) {
    Print(DumpText(console.map, values, command.format),
          command.format == DumpFormat::Json ? Escapes::Json : Escapes::Text);
  }
  return Conclude(console, outcome, tally.InterruptedText());
}

Verdict RunSave(const Command& command, Console& console) {
  RegisterValues values{};
  Tally tally;
  const Outcome outcome = ReadSequence(console, console.engine->NamedAddresses(), values, tally);
  if (outcome != Outcome::Ok) {
    Complain(command.file + " not written");
    return Conclude(console, outcome, tally.InterruptedText());
  }
  // What the read left out is not known, and is not saved.
  const RegisterValueCache& cache = console.engine->Cache();
  std::vector<SnapshotEntry> entries = SnapshotOfCache(console.map, cache);
  std::erase_if(entries, [&cache](const SnapshotEntry& entry) { return !cache.Known(entry.address); });
  std::string reason;
  if (!WriteFileWhole(command.file, SnapshotText(entries), reason)) {
    Complain(FileProblem(command.file, reason));
    return Verdict::Failure;
  }
  return Verdict::Success;
}

// With --verify, every register that was written is read back, also after
// a write failed; both the failures and the mismatches are reported.
Verdict RunLoad(const Command& command, Console& console) {
  RegisterEngine& engine = *console.engine;
  RegisterValues wanted{};
  for (const SnapshotEntry& entry : command.snapshot) wanted[entry.address] = entry.value;
  const std::vector<std::uint8_t> addresses = AddressesOf(wanted);
  std::vector<std::uint8_t> written;
  Tally tally{"written", addresses.size()};
  const Outcome outcome = engine.ForEachAddress(
      logtext::kWriteAllHeader, addresses,
      [&](std::uint8_t address) {
        console.progress.Show("writing", tally.count + 1, addresses.size());
        const Outcome write =
            engine.WriteRegister(address, WholeWriteValue(console.map, address, *wanted[address]));
        tally.Count(address, write);
        if (write == Outcome::Ok) written.push_back(address);
        ReportFailure(console, logtext::Access::Write, address, write);
        return write;
      },
      SequenceRule::WholeWrite);
  console.progress.Done();
  if (outcome == Outcome::NoBridge) Complain(logtext::kNotDetected);
  Verdict verdict = Conclude(console, outcome, tally.InterruptedText());
  if (console.waiter.Cancelled() || !command.verify || written.empty()) return verdict;

  RegisterValues read{};
  verdict =
      Worse(verdict, Conclude(console, ReadSequence(console, written, read, tally), tally.InterruptedText()));
  for (const std::uint8_t address : written) {
    const std::uint8_t mask = VerifyMask(console.map, address);
    if (read[address] && ((*read[address] ^ *wanted[address]) & mask) != 0) {
      ReportMismatch(address, *read[address], *wanted[address]);
      verdict = Worse(verdict, Verdict::Failure);
    }
  }
  return verdict;
}

// A live side reads every register the map names and every one the other
// side holds. As diff(1) does, it exits 2 when it cannot compare: a live
// read that failed is no difference.
Verdict RunDiff(const Command& command, Console& console) {
  std::array<RegisterValues, 2> values{command.sides[0].values, command.sides[1].values};
  for (std::size_t side = 0; side < 2; ++side) {
    if (!command.sides[side].live) continue;
    RegisterValues wanted{};
    for (const std::uint8_t address : console.engine->NamedAddresses()) wanted[address] = 0;
    for (const std::uint8_t address : AddressesOf(values[1 - side])) wanted[address] = 0;
    Tally tally;
    const Outcome outcome = ReadSequence(console, AddressesOf(wanted), values[side], tally);
    if (console.waiter.Cancelled()) return Conclude(console, outcome, tally.InterruptedText());
    if (outcome != Outcome::Ok) return Verdict::BadInput;
    // What a whole-device read leaves out is no difference either.
    for (int address = 0; address < kRegisterCount; ++address) {
      if (!SkipFor(console.map, SequenceRule::WholeRead, static_cast<std::uint8_t>(address))) continue;
      values[0][address].reset();
      values[1][address].reset();
    }
  }
  // Beside reset values, only the registers that have one are compared.
  for (int address = 0; address < kRegisterCount; ++address) {
    if ((command.sides[0].reset || command.sides[1].reset) && !console.map.RulesOf(address).reset) {
      values[0][address].reset();
      values[1][address].reset();
    }
  }
  const std::string differences = DiffText(console.map, values[0], values[1]);
  Print(differences);
  return differences.empty() ? Verdict::Success : Verdict::Failure;
}

}  // namespace regdiag::cli
