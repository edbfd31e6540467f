#include "core/transactions/logged_writes.h"

#include "core/text/hex_value.h"
#include "core/text/transaction_text.h"

namespace regdiag {

namespace {

// Where the two bytes stand in "Writing register 0xAA = 0xVV successful".
constexpr std::size_t kAddressAt = 19;
constexpr std::size_t kValueAt = 26;
constexpr std::size_t kByteDigits = 2;

// The write a line logs, when it is exactly a successful write's line: the
// line is rebuilt from the two bytes read out of it and must come out equal.
bool ReadWriteLine(std::string_view line, LoggedWrite& write) {
  if (line.size() <= kValueAt + kByteDigits) return false;
  const std::string_view address = line.substr(kAddressAt, kByteDigits);
  const std::string_view value = line.substr(kValueAt, kByteDigits);
  if (!IsRowHexText(address) || !IsRowHexText(value)) return false;
  write.address = static_cast<std::uint8_t>(ParseHexText(address));
  write.value = static_cast<std::uint8_t>(ParseHexText(value));
  return line ==
         logtext::TransactionLine(logtext::Access::Write, write.address, ReplyStatus::Success, write.value);
}

}  // namespace

std::optional<LoggedWrite> SuccessfulWrite(std::string_view line) {
  LoggedWrite write;
  if (!ReadWriteLine(line, write)) return std::nullopt;
  return write;
}

}  // namespace regdiag
