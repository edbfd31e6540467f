// Fields as text: a field's value as the window's tooltip, regdiag-cli's
// dump and its diff show it, and a value or label typed for a field. Names
// and labels come out as UTF-8 (NameUtf8).
//
// Plain functions with no state: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/map/register_rules.h"

namespace regdiag {

// "2(PLL)", or "2" for a value without a label: dump and diff.
[[nodiscard]] std::string FieldValueText(const RegisterField& field, std::uint8_t fieldValue);
// "CLKSEL = 2 (PLL)", or "CLKSEL = 2": one line of a row's tooltip.
[[nodiscard]] std::string FieldLine(const RegisterField& field, std::uint8_t fieldValue);
// One FieldLine for each field of the register, with its value in
// `registerValue`, joined by LF; empty for a register without fields.
[[nodiscard]] std::string FieldsDescription(const RegisterRules& rules, std::uint8_t registerValue);

// "SYS_CTRL.CLKSEL" cut at its last '.', when there is text on both sides.
struct FieldPath {
  std::string_view registerName;
  std::string_view fieldName;
};
[[nodiscard]] std::optional<FieldPath> SplitFieldPath(std::string_view text);

// A value typed for a field: one of its labels in any case, else a number as
// ReadByteNumber reads it (0x02, 2 or &H02). A label comes first, so that a
// field whose labels are numbers ("0=1,1=2,2=4") takes them as labels.
struct FieldValueArgument {
  std::optional<std::uint8_t> value;
  std::string error;  // set when value is empty
};
[[nodiscard]] FieldValueArgument ParseFieldValue(const RegisterField& field, std::string_view text);

}  // namespace regdiag
