#include "cli/terminal_text.h"

namespace regdiag::cli {

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

void AppendEscape(std::string& text, std::string_view prefix, unsigned char byte) {
  text.append(prefix);
  text += kHexDigits[byte >> 4];
  text += kHexDigits[byte & 0x0F];
}

}  // namespace

std::string EscapedText(std::string_view text, Escapes escapes) {
  std::string escaped;
  escaped.reserve(text.size());
  const std::string_view controlPrefix = escapes == Escapes::Json ? "\\u00" : "\\x";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F) {
      AppendEscape(escaped, controlPrefix, byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      AppendEscape(escaped, "\\u00", next);
      ++i;
    } else {
      escaped += static_cast<char>(byte);
    }
  }
  return escaped;
}

void Output(std::FILE* out, std::string_view text, Escapes escapes) {
  const std::string escaped =
      escapes == Escapes::OwnControls ? std::string(text) : EscapedText(text, escapes);
  std::fwrite(escaped.data(), 1, escaped.size(), out);
}

}  // namespace regdiag::cli
