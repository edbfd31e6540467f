// Case rules of the map's keywords and numbers: ASCII letters only, whatever
// the file's code page does with other bytes.
#pragma once

namespace regdiag {

[[nodiscard]] constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace regdiag
