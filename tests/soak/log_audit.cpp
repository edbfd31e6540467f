#include "log_audit.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace regdiag::soak {

namespace {

enum Form : int {
  kInitializing,
  kInitSuccessful,
  kSearching,
  kNotDetected,
  kDetected,
  kEmpty,
  kAttachReceived,
  kAttachIds,
  kAttachHandle,
  kAccepting,
  kRejecting,
  kAlreadyHeld,
  kAlreadyHeldReason,
  kDetachReceived,
  kDeviceInfoFailed,
  kDeviceInfoError,
  kNoPipes,
  kNoPipesReason,
  kTransferFailed,
  kPipeFailed,
  kGroupHeader,
  kAllHeader,
  kTransactionSuccess,
  kTransactionFailure,
};

struct LineForm {
  Form form;
  const char* pattern;
  // The forms the line may follow (it continues their entry); none: any.
  std::vector<Form> after;
};

const std::vector<LineForm>& Forms() {
  static const std::vector<LineForm> forms = {
      {kInitializing, R"(Initializing driver for USB-to-I2C interface\.\.\.)", {}},
      {kInitSuccessful, R"(USB-to-I2C driver initialization successful\.)", {}},
      {kSearching, R"(Searching for USB-to-I2C interface\.\.\.)", {}},
      {kNotDetected, R"(USB-to-I2C interface not detected\. Please check connections\.)", {}},
      {kDetected, R"(USB-to-I2C interface detected\.)", {}},
      {kEmpty, R"()", {}},
      {kAttachReceived, R"(DeviceAttach: Received attach for )", {}},
      {kAttachIds, R"(vendor ID &H[0-9A-F]{4} product ID &H[0-9A-F]{4})", {kAttachReceived}},
      {kAttachHandle, R"(device handle &H[0-9A-F]+)", {kAttachIds}},
      {kAccepting, R"(DeviceAttach: Accepting control of the device)", {kAttachHandle}},
      {kRejecting, R"(DeviceAttach: Rejecting control of the device)", {kAlreadyHeldReason}},
      {kAlreadyHeld,
       R"(DeviceAttach: Previous attached already accepted control of the device - )",
       {kAttachHandle}},
      {kAlreadyHeldReason,
       R"(control is rejected because only one device control is supported)",
       {kAlreadyHeld}},
      {kDetachReceived, R"(DeviceDetach: Received detach for device handle &H[0-9A-F]+)", {}},
      {kDeviceInfoFailed, R"((WritePipe|ReadPipe): UsbGetDeviceInfo\(\) failed:)", {}},
      {kDeviceInfoError, R"(error &H[0-9A-F]+ \([^()]+\))", {kDeviceInfoFailed}},
      {kNoPipes, R"(  No pipes are defined for this device )", {}},
      {kNoPipesReason, R"(other than the default pipe \(number 0\))", {kNoPipes}},
      {kTransferFailed, R"((WritePipe|ReadPipe): UsbTransfer\(\) failed: error &H[0-9A-F]+ \([^()]+\))", {}},
      {kPipeFailed, R"((Write|Read) Pipe failed)", {kTransferFailed, kNoPipesReason}},
      {kGroupHeader, R"((Reading|Writing) register group:)", {}},
      {kAllHeader, R"((Reading|Writing) all device registers:)", {}},
      {kTransactionSuccess, R"((Reading|Writing) register 0x[0-9A-F]{2} = 0x[0-9A-F]{2} successful)", {}},
      {kTransactionFailure,
       R"((Reading|Writing) register 0x[0-9A-F]{2} failed: )"
       R"((General I2C error|No ACK from QRV4417\. Check power and connections\.|USB transfer error))",
       {}},
  };
  return forms;
}

const std::vector<QRegularExpression>& Expressions() {
  static const std::vector<QRegularExpression> expressions = [] {
    std::vector<QRegularExpression> list;
    for (const LineForm& form : Forms()) {
      // The table is looked up by form: each must sit at its own index.
      if (form.form != static_cast<int>(list.size())) qFatal("log form %d out of place", form.form);
      list.emplace_back(QRegularExpression::anchoredPattern(QString::fromLatin1(form.pattern)));
    }
    return list;
  }();
  return expressions;
}

int FormOf(const std::string& line) {
  const QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  const auto& expressions = Expressions();
  for (std::size_t i = 0; i < expressions.size(); ++i) {
    if (expressions[i].match(text).hasMatch()) return static_cast<int>(i);
  }
  return -1;
}

std::string Quoted(const std::string& line) { return "\"" + line + "\""; }

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

}  // namespace

// True when the lines from `from` on, up to the one at `index`, are exactly
// `expected`.
bool LogAudit::LinesBetween(const std::vector<Line>& lines, std::size_t from, std::size_t index,
                            const std::vector<std::string>& expected) {
  std::size_t first = index;
  while (first > 0 && lines[first - 1].offset >= from) --first;
  if (index - first != expected.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (lines[first + i].text != expected[i]) return false;
  }
  return true;
}

namespace {

std::string Describe(const Exchange& exchange) {
  return std::string(exchange.access == logtext::Access::Read ? "read" : "write") + " of " +
         Hex(exchange.address) + " (fault: " + exchange.fault + ", expected " +
         OutcomeName(exchange.expected) + ")";
}

}  // namespace

std::optional<TransactionEntry> ParseTransactionLine(const std::string& line, std::size_t offset) {
  static const QRegularExpression expression(QRegularExpression::anchoredPattern(QStringLiteral(
      R"((Reading|Writing) register 0x([0-9A-F]{2})(?: = 0x([0-9A-F]{2}) successful| failed: (.*)))")));
  const QRegularExpressionMatch match =
      expression.match(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  if (!match.hasMatch()) return std::nullopt;
  TransactionEntry entry;
  entry.offset = offset;
  entry.access =
      match.captured(1) == QStringLiteral("Reading") ? logtext::Access::Read : logtext::Access::Write;
  entry.address = static_cast<std::uint8_t>(match.captured(2).toUInt(nullptr, 16));
  if (match.capturedLength(3) > 0) {
    entry.outcome = Outcome::Success;
    entry.value = static_cast<std::uint8_t>(match.captured(3).toUInt(nullptr, 16));
  } else {
    const QString reason = match.captured(4);
    entry.outcome = reason == QStringLiteral("USB transfer error")  ? Outcome::TransferError
                    : reason == QStringLiteral("General I2C error") ? Outcome::I2cError
                                                                    : Outcome::NoAck;
  }
  return entry;
}

void LogAudit::Restart() {
  mark_ = 0;
  previousForm_ = -1;
  formBeforePrevious_ = -1;
}

std::vector<TransactionEntry> LogAudit::Audit(const std::string& log, const std::vector<Exchange>& exchanges,
                                              std::vector<std::string>& problems) {
  if (log.size() < mark_) {
    problems.push_back("the log shrank without being cleared");
    Restart();
  }
  if (!log.empty() && !log.ends_with("\r\n")) problems.push_back("the log ends in the middle of a line");

  std::vector<Line> lines;
  std::vector<TransactionEntry> entries;
  for (std::size_t at = mark_; at < log.size();) {
    const std::size_t end = log.find("\r\n", at);
    if (end == std::string::npos) break;
    Line line{at, log.substr(at, end - at), -1};
    line.form = FormOf(line.text);
    const int before = lines.empty() ? previousForm_ : lines.back().form;
    if (line.form < 0) {
      problems.push_back("unknown log line " + Quoted(line.text));
    } else if (const auto& after = Forms()[static_cast<std::size_t>(line.form)].after;
               !after.empty() && std::find(after.begin(), after.end(), before) == after.end()) {
      problems.push_back("log line " + Quoted(line.text) + " does not continue the entry it belongs to");
    }
    if (auto entry = ParseTransactionLine(line.text, line.offset)) entries.push_back(*entry);
    lines.push_back(std::move(line));
    at = end + 2;
  }

  MatchExchanges(lines, entries, exchanges, problems);
  if (lines.size() >= 2) formBeforePrevious_ = lines[lines.size() - 2].form;
  if (lines.size() == 1) formBeforePrevious_ = previousForm_;
  if (!lines.empty()) previousForm_ = lines.back().form;
  mark_ = log.size();
  linesSeen_ += lines.size();
  return entries;
}

bool LogAudit::FollowsPipeFailure(const std::vector<Line>& lines, std::size_t index) const {
  const auto formAt = [&](std::ptrdiff_t i) {
    if (i >= 0) return lines[static_cast<std::size_t>(i)].form;
    return i == -1 ? previousForm_ : formBeforePrevious_;
  };
  const auto i = static_cast<std::ptrdiff_t>(index);
  // "Write Pipe failed" / "Read Pipe failed", or the device information
  // entry, which ends in an empty line.
  return formAt(i - 1) == kPipeFailed || (formAt(i - 1) == kEmpty && formAt(i - 2) == kDeviceInfoError);
}

void LogAudit::MatchExchanges(const std::vector<Line>& lines, const std::vector<TransactionEntry>& entries,
                              const std::vector<Exchange>& exchanges,
                              std::vector<std::string>& problems) const {
  // An exchange logs its line before anything else can run, so its line is
  // the first transaction line from its offset on, before the next exchange.
  std::vector<bool> matched(exchanges.size(), false);
  std::size_t lineIndex = 0;
  for (const TransactionEntry& entry : entries) {
    while (lines[lineIndex].offset != entry.offset) ++lineIndex;
    const auto next =
        std::upper_bound(exchanges.begin(), exchanges.end(), entry.offset,
                         [](std::size_t offset, const Exchange& e) { return offset < e.logOffset; });
    const auto index = static_cast<std::size_t>(std::distance(exchanges.begin(), next));
    if (index > 0 && !matched[index - 1]) {
      const Exchange& exchange = exchanges[index - 1];
      matched[index - 1] = true;
      const std::string& text = lines[lineIndex].text;
      if (entry.access != exchange.access || entry.address != exchange.address) {
        problems.push_back("the " + Describe(exchange) + " was logged as " + Quoted(text));
      } else if (entry.outcome != exchange.expected) {
        problems.push_back(
            std::string(exchange.expected != Outcome::Success && entry.outcome == Outcome::Success
                            ? "FAILURE LOGGED AS SUCCESS: "
                            : "wrong outcome: ") +
            "the " + Describe(exchange) + " was logged as " + Quoted(text));
      } else if (exchange.linesBefore &&
                 !LinesBetween(lines, exchange.logOffset, lineIndex, *exchange.linesBefore)) {
        problems.push_back("the " + Describe(exchange) + " did not log what went wrong right before " +
                           Quoted(text));
      } else if (entry.outcome == Outcome::Success) {
        const std::uint8_t truth =
            exchange.access == logtext::Access::Read ? exchange.chipValue : exchange.data;
        if (entry.value != truth) {
          problems.push_back("the " + Describe(exchange) + " was logged as " + Quoted(text) +
                             " but the value was " + Hex(truth));
        }
      }
      continue;
    }
    // No exchange of its own: only a failure the pipe entry before explains.
    if (entry.outcome != Outcome::TransferError || !FollowsPipeFailure(lines, lineIndex)) {
      problems.push_back("transaction line " + Quoted(lines[lineIndex].text) +
                         " without a transfer of its own or the pipe failure that explains it");
    }
  }
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    if (!matched[i]) problems.push_back("the " + Describe(exchanges[i]) + " left no transaction line");
  }
}

}  // namespace regdiag::soak
