// dump, save, load and diff: sequences over many registers, framed in the
// log as Read All and Write All frame theirs.
#include <vector>

#include "cli/commands.h"
#include "core/files/file_write.h"
#include "core/map/register_snapshot.h"
#include "core/text/link_log_text.h"

namespace regdiag::cli {

namespace {

// Reads `addresses` 10 ms apart under the Read All header; `values` gets
// every value that came back with a success.
Outcome ReadSequence(Console& console, std::span<const std::uint8_t> addresses, RegisterValues& values,
                     Tally& tally) {
  RegisterEngine& engine = *console.engine;
  tally = Tally{"read", addresses.size()};
  const Outcome outcome =
      engine.ForEachAddress(logtext::kReadAllHeader, addresses, [&](std::uint8_t address) {
        console.progress.Show("reading", tally.count + 1, addresses.size());
        const Outcome read = engine.ReadRegister(address);
        if (read == Outcome::Ok) values[address] = static_cast<std::uint8_t>(engine.Cache()[address] & 0xFF);
        tally.Count(address, read);
        ReportFailure(console, logtext::Access::Read, address, read);
        return read;
      });
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
  std::string reason;
  if (!WriteFileWhole(command.file, WriteSnapshot(console.map, console.engine->Cache()), reason)) {
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
  const Outcome outcome =
      engine.ForEachAddress(logtext::kWriteAllHeader, addresses, [&](std::uint8_t address) {
        console.progress.Show("writing", tally.count + 1, addresses.size());
        const Outcome write = engine.WriteRegister(address, *wanted[address]);
        tally.Count(address, write);
        if (write == Outcome::Ok) written.push_back(address);
        ReportFailure(console, logtext::Access::Write, address, write);
        return write;
      });
  console.progress.Done();
  if (outcome == Outcome::NoBridge) Complain(logtext::kNotDetected);
  Verdict verdict = Conclude(console, outcome, tally.InterruptedText());
  if (console.waiter.Cancelled() || !command.verify || written.empty()) return verdict;

  RegisterValues read{};
  verdict =
      Worse(verdict, Conclude(console, ReadSequence(console, written, read, tally), tally.InterruptedText()));
  for (const std::uint8_t address : written) {
    if (read[address] && read[address] != wanted[address]) {
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
  }
  const std::string differences = DiffText(console.map, values[0], values[1]);
  Print(differences);
  return differences.empty() ? Verdict::Success : Verdict::Failure;
}

}  // namespace regdiag::cli
