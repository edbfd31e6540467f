// How a register behaves, as the map's ACCESS, RESET and FIELD lines tell
// it: who may read and write it, its value after reset, and its fields of
// bits with their named values. Kept per address, like the names: a register
// shown on several pages has one set of rules.
//
// Plain data and functions with no state: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace regdiag {

// RC: reading the register changes it (it clears flags or pops a FIFO).
enum class RegisterAccess : std::uint8_t { RW, RO, WO, RC };
// Default: the register's access (RO for an RC register). W1C: writing 1
// clears the bit and writing 0 leaves it.
enum class FieldAccess : std::uint8_t { Default, RW, RO, WO, W1C };

struct FieldValueName {
  std::uint8_t value = 0;
  std::string label;  // the map's bytes as they stand

  friend bool operator==(const FieldValueName&, const FieldValueName&) = default;
};

// Bits msb down to lsb of one register, 7 >= msb >= lsb >= 0.
struct RegisterField {
  std::string name;  // the map's bytes; never empty, never holds a '.'
  std::uint8_t msb = 0;
  std::uint8_t lsb = 0;
  FieldAccess access = FieldAccess::Default;
  std::vector<FieldValueName> values;  // in the order of the line, each value once

  [[nodiscard]] int Width() const { return msb - lsb + 1; }
  // The largest value the field holds.
  [[nodiscard]] std::uint8_t MaxValue() const { return static_cast<std::uint8_t>((1u << Width()) - 1); }
  // The field's bits within a register value.
  [[nodiscard]] std::uint8_t Mask() const { return static_cast<std::uint8_t>(MaxValue() << lsb); }
  [[nodiscard]] std::uint8_t ValueIn(std::uint8_t registerValue) const {
    return static_cast<std::uint8_t>((registerValue & Mask()) >> lsb);
  }
  // `registerValue` with the field set to `fieldValue`, cut to the field.
  [[nodiscard]] std::uint8_t Placed(std::uint8_t registerValue, std::uint8_t fieldValue) const {
    return static_cast<std::uint8_t>((registerValue & ~Mask()) | ((fieldValue << lsb) & Mask()));
  }
  // The label the map gives a value; nullptr when it gives none (an empty
  // label, "2=", names none).
  [[nodiscard]] const std::string* LabelOf(std::uint8_t value) const;

  friend bool operator==(const RegisterField&, const RegisterField&) = default;
};

// The bits of a register by what may be done to them. A register without
// fields has all eight bits of its own access; with fields, the bits in no
// field are reserved and in none of the masks.
struct AccessMasks {
  std::uint8_t rw = 0;
  std::uint8_t ro = 0;
  std::uint8_t wo = 0;
  std::uint8_t w1c = 0;
};

struct RegisterRules {
  RegisterAccess access = RegisterAccess::RW;
  std::optional<std::uint8_t> reset;
  std::vector<RegisterField> fields;  // in the order of the map; they never overlap

  // The field's own access, or the one it takes from the register.
  [[nodiscard]] FieldAccess AccessOf(const RegisterField& field) const;
  [[nodiscard]] AccessMasks Masks() const;
  // The field of that name in any case of ASCII letters (the name taken as
  // UTF-8 by the rule of NameUtf8), or nullptr.
  [[nodiscard]] const RegisterField* FindField(std::string_view name) const;
  // True when the map gave this register no ACCESS and no FIELD line: it is
  // plain memory.
  [[nodiscard]] bool Plain() const { return access == RegisterAccess::RW && fields.empty(); }

  friend bool operator==(const RegisterRules&, const RegisterRules&) = default;
};

// A line of the map that was skipped (1 = the first line), and why.
struct MapNote {
  int line = 0;
  std::string reason;

  friend bool operator==(const MapNote&, const MapNote&) = default;
};

// "RW", "RO", "WO", "RC" and "RW", "RO", "WO", "W1C" ("" for Default).
[[nodiscard]] std::string_view AccessName(RegisterAccess access);
[[nodiscard]] std::string_view AccessName(FieldAccess access);

// "LINE: reason", the line of `regdiag-cli check`.
[[nodiscard]] std::string MapNoteText(const MapNote& note);

}  // namespace regdiag
