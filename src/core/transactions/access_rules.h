// What the map's access rules let the engine do to a register: which ones a
// sequence leaves out, what a whole-device write sends, which bits a verify
// compares, which single transactions are refused, and how a field write is
// composed (read, modify, write). The engine decides with these, and both
// front ends call the same functions, so the window and regdiag-cli can
// never disagree. A map without ACCESS and FIELD lines makes every answer
// the one of plain memory: nothing skipped, refused or changed.
//
// Plain functions with no state: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/map/register_map.h"

namespace regdiag {

// Which registers a sequence leaves out.
enum class SequenceRule {
  Everything,
  WholeRead,   // Read All, dump, save, a live diff, load --verify: RC and WO skipped
  WholeWrite,  // Write All, load: RO and RC skipped
  Replay,      // replay: RO skipped
};

enum class SkipReason { ReadChangesIt, WriteOnly, ReadOnly };

[[nodiscard]] std::optional<SkipReason> SkipFor(const RegisterMap& map, SequenceRule rule,
                                                std::uint8_t address);
// "Skipping register 0xAA: reading it changes it", "...: write-only" or
// "...: read-only".
[[nodiscard]] std::string SkipLine(std::uint8_t address, SkipReason reason);

// What a whole-device write sends for a value: its W1C bits as 0, so that
// restoring values never clears a flag.
[[nodiscard]] std::uint8_t WholeWriteValue(const RegisterMap& map, std::uint8_t address, std::uint8_t value);
// The bits a verify compares: the read-write ones (all eight of a plain
// register, none of a read-only, write-only or RC one).
[[nodiscard]] std::uint8_t VerifyMask(const RegisterMap& map, std::uint8_t address);

// Single transactions and field writes that are refused before anything is
// sent. A single read of an RC register is not refused: the person asked.
enum class Refusal {
  ReadWriteOnly,         // read of a WO register
  WriteReadOnly,         // write of an RO register
  VerifyWriteOnly,       // --verify of a WO register
  FieldOfReadOnly,       // field write to an RO or RC register
  ReadOnlyField,         // field write to an RO field
  WriteOnlyWithoutReset  // field write to a WO register that has no reset value
};
[[nodiscard]] std::optional<Refusal> ReadRefusal(const RegisterMap& map, std::uint8_t address);
[[nodiscard]] std::optional<Refusal> WriteRefusal(const RegisterMap& map, std::uint8_t address, bool verify);
[[nodiscard]] std::optional<Refusal> FieldWriteRefusal(const RegisterMap& map, std::uint8_t address,
                                                       const RegisterField& field);
// "register 0x04 is write-only: it cannot be read back", and so on.
[[nodiscard]] std::string RefusalText(std::uint8_t address, Refusal refusal);

// A field write to a write-only register starts from its reset value; any
// other register is read first. Empty: read the register first. Asked
// once FieldWriteRefusal has let the write through.
[[nodiscard]] std::optional<std::uint8_t> FieldWriteBase(const RegisterMap& map, std::uint8_t address);
// The value a field write sends: `base` (as read, or FieldWriteBase) with
// the field set to `fieldValue` and the other W1C fields as 0; reserved and
// read-only bits stay as read.
[[nodiscard]] std::uint8_t ComposeFieldWrite(const RegisterMap& map, std::uint8_t address,
                                             const RegisterField& field, std::uint8_t fieldValue,
                                             std::uint8_t base);

struct ResetValue {
  std::uint8_t address = 0;
  std::uint8_t value = 0;
};
// The map's reset values, in address order, for the registers that have one.
[[nodiscard]] std::vector<ResetValue> ResetValues(const RegisterMap& map);

}  // namespace regdiag
