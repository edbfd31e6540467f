// The hex key rules driven like a row's value box: starting from "00", the
// input is read as operations (typed keys, caret moves, selections, pastes,
// Escape, Backspace) and after every one the box must still hold one or two
// upper-case hex digits, with the caret and selection within them; a key that
// is neither a digit, Backspace nor Escape leaves it alone. One byte picks the
// operation, the bytes after it are its arguments; a missing one reads as 0.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/editing/hex_key_rules.h"
#include "core/text/hex_value.h"

namespace {

using regdiag::HexEditState;

void Require(bool holds, const HexEditState& box, int key, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "hex box broken after key %d: %s (text \"%s\", caret %d, selection %d)\n", key, what,
               box.text.c_str(), box.selStart, box.selLength);
  std::abort();
}

HexEditState TypeKey(const HexEditState& box, int key) {
  const auto [after, commit] = regdiag::ApplyHexKey(box, key);
  const int upper = key >= 'a' && key <= 'f' ? key - 'a' + 'A' : key;
  const bool taken = (upper >= '0' && upper <= '9') || (upper >= 'A' && upper <= 'F') ||
                     key == regdiag::kKeyBackspace || key == regdiag::kKeyEscape;
  Require(commit == taken && (taken || after == box), after, key, "a key that is no digit changed the box");
  Require(regdiag::IsRowHexText(after.text) && after.text.find_first_of("abcdef") == std::string::npos, after,
          key, "text is not one or two upper-case hex digits");
  Require(after.selStart >= 0 && after.selLength >= 0 &&
              after.selStart + after.selLength <= static_cast<int>(after.text.size()),
          after, key, "caret or selection outside the text");
  return after;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  const auto next = [&] { return at < size ? int{data[at++]} : 0; };
  HexEditState box{"00", 2, 0};  // a box set to a text has the caret at its end
  while (at < size) {
    const int length = static_cast<int>(box.text.size());
    switch (next() % 8) {
      case 1: {  // a character beyond Latin-1, as the window hands them on
        const int high = next();
        box = TypeKey(box, high << 8 | next());
        break;
      }
      case 2:  // the caret moved, nothing selected
        box = {box.text, next() % (length + 1), 0};
        break;
      case 3:  // a selection
        box.selStart = next() % (length + 1);
        box.selLength = next() % (length - box.selStart + 1);
        break;
      case 4:  // a paste: its characters typed one by one
        for (int count = next() % 16; count > 0 && at < size; --count) box = TypeKey(box, next());
        break;
      case 5:
        box = TypeKey(box, regdiag::kKeyEscape);
        break;
      case 6:
        box = TypeKey(box, regdiag::kKeyBackspace);
        break;
      default:  // a typed character
        box = TypeKey(box, next());
    }
  }
  return 0;
}
