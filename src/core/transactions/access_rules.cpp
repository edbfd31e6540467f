#include "core/transactions/access_rules.h"

#include "core/text/hex_value.h"

namespace regdiag {

namespace {

std::string Register(std::uint8_t address) { return "register 0x" + HexByteText(address); }

}  // namespace

std::optional<SkipReason> SkipFor(const RegisterMap& map, SequenceRule rule, std::uint8_t address) {
  const RegisterAccess access = map.RulesOf(address).access;
  switch (rule) {
    case SequenceRule::Everything:
      break;
    case SequenceRule::WholeRead:
      if (access == RegisterAccess::RC) return SkipReason::ReadChangesIt;
      if (access == RegisterAccess::WO) return SkipReason::WriteOnly;
      break;
    case SequenceRule::WholeWrite:
      if (access == RegisterAccess::RC) return SkipReason::ReadChangesIt;
      if (access == RegisterAccess::RO) return SkipReason::ReadOnly;
      break;
    case SequenceRule::Replay:
      if (access == RegisterAccess::RO) return SkipReason::ReadOnly;
      break;
  }
  return std::nullopt;
}

std::string SkipLine(std::uint8_t address, SkipReason reason) {
  const char* why = "read-only";
  if (reason == SkipReason::ReadChangesIt) why = "reading it changes it";
  if (reason == SkipReason::WriteOnly) why = "write-only";
  return "Skipping register 0x" + HexByteText(address) + ": " + why;
}

std::uint8_t WholeWriteValue(const RegisterMap& map, std::uint8_t address, std::uint8_t value) {
  return static_cast<std::uint8_t>(value & ~map.RulesOf(address).Masks().w1c);
}

std::uint8_t VerifyMask(const RegisterMap& map, std::uint8_t address) {
  return map.RulesOf(address).Masks().rw;
}

std::optional<Refusal> ReadRefusal(const RegisterMap& map, std::uint8_t address) {
  if (map.RulesOf(address).access == RegisterAccess::WO) return Refusal::ReadWriteOnly;
  return std::nullopt;
}

std::optional<Refusal> WriteRefusal(const RegisterMap& map, std::uint8_t address, bool verify) {
  const RegisterAccess access = map.RulesOf(address).access;
  if (access == RegisterAccess::RO) return Refusal::WriteReadOnly;
  if (verify && access == RegisterAccess::WO) return Refusal::VerifyWriteOnly;
  return std::nullopt;
}

std::optional<Refusal> FieldWriteRefusal(const RegisterMap& map, std::uint8_t address,
                                         const RegisterField& field) {
  const RegisterRules& rules = map.RulesOf(address);
  if (rules.access == RegisterAccess::RO || rules.access == RegisterAccess::RC)
    return Refusal::FieldOfReadOnly;
  if (rules.AccessOf(field) == FieldAccess::RO) return Refusal::ReadOnlyField;
  if (rules.access == RegisterAccess::WO && !rules.reset) return Refusal::WriteOnlyWithoutReset;
  return std::nullopt;
}

std::string RefusalText(std::uint8_t address, Refusal refusal) {
  switch (refusal) {
    case Refusal::ReadWriteOnly:
      return Register(address) + " is write-only: it cannot be read";
    case Refusal::WriteReadOnly:
      return Register(address) + " is read-only: it cannot be written";
    case Refusal::VerifyWriteOnly:
      return Register(address) + " is write-only: --verify cannot read it back";
    case Refusal::FieldOfReadOnly:
      return Register(address) + " is read-only or changes when read: its fields cannot be written";
    case Refusal::ReadOnlyField:
      return "that field of " + Register(address) + " is read-only";
    case Refusal::WriteOnlyWithoutReset:
      break;
  }
  return Register(address) + " is write-only and has no reset value to start a field write from";
}

std::optional<std::uint8_t> FieldWriteBase(const RegisterMap& map, std::uint8_t address) {
  const RegisterRules& rules = map.RulesOf(address);
  if (rules.access == RegisterAccess::WO) return rules.reset;
  return std::nullopt;
}

std::uint8_t ComposeFieldWrite(const RegisterMap& map, std::uint8_t address, const RegisterField& field,
                               std::uint8_t fieldValue, std::uint8_t base) {
  const std::uint8_t otherW1c = map.RulesOf(address).Masks().w1c & ~field.Mask();
  return field.Placed(static_cast<std::uint8_t>(base & ~otherW1c), fieldValue);
}

std::vector<ResetValue> ResetValues(const RegisterMap& map) {
  std::vector<ResetValue> values;
  for (int address = 0; address < kRegisterCount; ++address) {
    if (const std::optional<std::uint8_t> reset = map.RulesOf(address).reset) {
      values.push_back({static_cast<std::uint8_t>(address), *reset});
    }
  }
  return values;
}

}  // namespace regdiag
