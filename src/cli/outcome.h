// What a run of regdiag-cli came to, and the one place where that becomes
// the exit status: 0 when every transaction succeeded, 1 when any failed (no
// acknowledge, I2C error, transfer error, a verify mismatch, no bridge, an
// interrupted run, registers that differ), 2 for bad usage or a bad file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/transactions/register_engine.h"
#include "core/text/transaction_text.h"

namespace regdiag::cli {

enum class Verdict { Success, Failure, BadInput };

[[nodiscard]] Verdict VerdictOf(Outcome outcome);
// The worse of two: bad input before failure before success.
[[nodiscard]] Verdict Worse(Verdict a, Verdict b);
[[nodiscard]] int ExitStatus(Verdict verdict);

// One message on stderr: "regdiag-cli: <text>".
void Complain(std::string_view text);
// What became of a transaction that did not succeed, in the log's own words
// ("Reading register 0x12 failed: General I2C error").
[[nodiscard]] std::string FailureText(logtext::Access access, std::uint8_t address, Outcome outcome);

}  // namespace regdiag::cli
