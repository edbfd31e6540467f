// The map's names as UTF-8 text. The map file is 8-bit text: its names are
// taken as UTF-8 where their bytes are valid UTF-8, and otherwise as one byte
// per character (Latin-1), the rule by which the window shows them.
#pragma once

#include <string>
#include <string_view>

namespace regdiag {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points above U+10FFFF).
[[nodiscard]] bool IsUtf8(std::string_view bytes);

[[nodiscard]] std::string NameUtf8(std::string_view mapBytes);

}  // namespace regdiag
