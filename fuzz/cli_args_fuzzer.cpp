// regdiag-cli's argument reader on arbitrary words: REG, VALUE, or the whole
// number of --count or --interval, as the first byte picks. The answer is a
// number or a message, never both, and the number is what the word says
// (checked afresh by Said), or for REG the map's one name in any case.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "cli/arguments.h"

namespace {

// The number a word says, capped past 2^40: with `all` a sign and decimal
// digits, 0x and hex digits, or &H and hex digits; else decimal digits after
// an optional minus.
std::optional<long long> Said(std::string_view word, bool all) {
  const auto starts = [&word](std::string_view prefix) {
    return word.size() >= 2 && word[0] == prefix[0] &&
           std::tolower(static_cast<unsigned char>(word[1])) == prefix[1];
  };
  const bool negative = word.starts_with('-'), vb = all && starts("&h");
  if (negative || (all && word.starts_with('+'))) word.remove_prefix(1);
  const int base = vb || (all && starts("0x")) ? 16 : 10;
  word.remove_prefix(base == 16 ? 2 : 0);
  long long number = word.empty() ? -1 : 0;
  for (const char c : word) {
    const auto u = static_cast<unsigned char>(c);
    const int digit = std::isdigit(u) ? c - '0' : std::isxdigit(u) ? std::tolower(u) - 'a' + 10 : 99;
    number = digit >= base || number < 0 ? -1 : number > (1LL << 40) ? number : number * base + digit;
  }
  return number < 0 ? std::nullopt : std::optional(negative ? -number : number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const regdiag::RegisterMap map = [] {
    regdiag::RegisterMap names;
    names.RegisterNames[0x01] = "SYS_CTRL";
    names.RegisterNames[0x20] = names.RegisterNames[0x21] = "TWICE";
    return names;
  }();
  if (size == 0) return 0;
  const std::string_view word(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int pick = data[0] % 4;
  std::optional<long long> said = Said(word, pick < 2), answer;
  bool message = false;
  if (pick >= 2) {
    const long max = pick == 2 ? 1000000000 : 3600000;
    const regdiag::cli::WholeArgument whole = regdiag::cli::ParseWhole(word, "--count", 1, max);
    said = said && *said >= 1 && *said <= max ? said : std::nullopt;
    answer = whole.number, message = !whole.error.empty();
  } else {
    std::string upper(word);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    said = said                               ? (*said >= 0 && *said <= 255 ? said : std::nullopt)
           : pick == 0 && upper == "SYS_CTRL" ? std::optional(0x01LL)
                                              : std::nullopt;
    const regdiag::cli::ByteArgument read =
        pick == 1 ? regdiag::cli::ParseValue(word) : regdiag::cli::ParseRegister(word, map);
    answer = read.byte, message = !read.error.empty();
  }
  if (answer != said || answer.has_value() == message) {
    std::fprintf(stderr, "argument invariant broken: %s\n",
                 answer != said ? "a wrong number" : "number and message");
    std::abort();
  }
  return 0;
}
