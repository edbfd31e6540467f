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
Outcome ReadSequence(Console& console, std::span<const std::uint8_t> addresses, RegisterValues& values) {
  RegisterEngine& engine = *console.engine;
  std::size_t done = 0;
  const Outcome outcome =
      engine.ForEachAddress(logtext::kReadAllHeader, addresses, [&](std::uint8_t address) {
        console.progress.Show("reading", ++done, addresses.size());
        const Outcome read = engine.ReadRegister(address);
        if (read == Outcome::Ok) values[address] = static_cast<std::uint8_t>(engine.Cache()[address] & 0xFF);
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
  const Outcome outcome = ReadSequence(console, console.engine->NamedAddresses(), values);
  if (outcome != Outcome::NoBridge && !console.waiter.Cancelled()) {
    Print(DumpText(console.map, values, command.format));
  }
  return Conclude(console, outcome);
}

Verdict RunSave(const Command& command, Console& console) {
  RegisterValues values{};
  const Outcome outcome = ReadSequence(console, console.engine->NamedAddresses(), values);
  if (outcome != Outcome::Ok) {
    Complain(command.file + " not written");
    return Conclude(console, outcome);
  }
  std::string reason;
  if (!WriteFileWhole(command.file, WriteSnapshot(console.map, console.engine->Cache()), reason)) {
    Complain(FileProblem(command.file, reason));
    return Verdict::Failure;
  }
  return Verdict::Success;
}

Verdict RunLoad(const Command& command, Console& console) {
  RegisterEngine& engine = *console.engine;
  RegisterValues wanted{};
  for (const SnapshotEntry& entry : command.snapshot) wanted[entry.address] = entry.value;
  const std::vector<std::uint8_t> addresses = AddressesOf(wanted);
  std::size_t done = 0;
  Outcome outcome = engine.ForEachAddress(logtext::kWriteAllHeader, addresses, [&](std::uint8_t address) {
    console.progress.Show("writing", ++done, addresses.size());
    const Outcome written = engine.WriteRegister(address, *wanted[address]);
    ReportFailure(console, logtext::Access::Write, address, written);
    return written;
  });
  console.progress.Done();
  if (outcome == Outcome::NoBridge) Complain(logtext::kNotDetected);
  if (outcome != Outcome::Ok || !command.verify) return Conclude(console, outcome);

  RegisterValues read{};
  outcome = ReadSequence(console, addresses, read);
  Verdict verdict = Conclude(console, outcome);
  for (const std::uint8_t address : addresses) {
    if (read[address] && read[address] != wanted[address]) {
      ReportMismatch(address, *read[address], *wanted[address]);
      verdict = Worse(verdict, Verdict::Failure);
    }
  }
  return verdict;
}

// A live side reads every register the map names and every one the other
// side holds.
Verdict RunDiff(const Command& command, Console& console) {
  std::array<RegisterValues, 2> values{command.sides[0].values, command.sides[1].values};
  for (std::size_t side = 0; side < 2; ++side) {
    if (!command.sides[side].live) continue;
    RegisterValues wanted{};
    for (const std::uint8_t address : console.engine->NamedAddresses()) wanted[address] = 0;
    for (const std::uint8_t address : AddressesOf(values[1 - side])) wanted[address] = 0;
    const Outcome outcome = ReadSequence(console, AddressesOf(wanted), values[side]);
    if (outcome != Outcome::Ok) return Conclude(console, outcome);
  }
  const std::string differences = DiffText(console.map, values[0], values[1]);
  Print(differences);
  return differences.empty() ? Verdict::Success : Verdict::Failure;
}

}  // namespace regdiag::cli
