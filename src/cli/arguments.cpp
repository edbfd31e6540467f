#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

#include "core/text/hex_value.h"
#include "core/map/byte_number.h"
#include "core/map/name_text.h"

namespace regdiag::cli {

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

ByteArgument LookUpName(std::string_view text, const RegisterMap& map) {
  std::vector<std::uint8_t> found;
  for (int address = 0; address < kRegisterCount; ++address) {
    const std::string& name = map.RegisterNames[address];
    if (!name.empty() && SameNameIgnoringCase(NameUtf8(name), text)) {
      found.push_back(static_cast<std::uint8_t>(address));
    }
  }
  if (found.size() == 1) return {found.front(), {}};
  if (found.empty()) return {std::nullopt, "unknown register name '" + std::string(text) + "'"};
  std::string addresses;
  for (const std::uint8_t address : found) {
    addresses += (addresses.empty() ? "0x" : ", 0x") + HexByteText(address);
  }
  return {std::nullopt, "register name '" + std::string(text) + "' is ambiguous (" + addresses + ")"};
}

}  // namespace

ByteArgument ParseRegister(std::string_view text, const RegisterMap& map) {
  const ByteNumber number = ReadByteNumber(text);
  if (number.reading == ByteNumber::Reading::NotANumber) return LookUpName(text, map);
  if (number.reading != ByteNumber::Reading::Byte)
    return {std::nullopt, RegisterAddressProblem(text, number)};
  return {static_cast<std::uint8_t>(number.value), {}};
}

ByteArgument ParseValue(std::string_view text) {
  const ByteNumber number = ReadByteNumber(text);
  if (number.reading != ByteNumber::Reading::Byte) return {std::nullopt, ValueProblem(text, number)};
  return {static_cast<std::uint8_t>(number.value), {}};
}

WholeArgument ParseWhole(std::string_view text, std::string_view what, long min, long max) {
  long number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc{} || stop != end || number < min || number > max) {
    return {std::nullopt, std::string(what) + " must be a whole number from " + std::to_string(min) + " to " +
                              std::to_string(max) + ", not '" + std::string(text) + "'"};
  }
  return {number, {}};
}

}  // namespace regdiag::cli
