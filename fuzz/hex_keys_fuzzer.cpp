// The hex key rules driven like a row's value box: starting from "00", the
// input is read as operations (typed keys, caret moves, selections, pastes,
// Escape, Backspace, a caret out of range), and after every one the box must
// still hold one or two upper-case hex digits, with the caret and selection
// within them. One byte picks the operation, the bytes after it are its
// arguments; a missing argument reads as 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editing/core/hex_key_rules.h"
#include "editing/core/hex_value.h"

namespace {

using regdiag::HexEditState;

void Require(bool holds, const HexEditState& box, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "hex box broken: %s (text \"%s\", caret %d, selection %d)\n", what, box.text.c_str(),
               box.selStart, box.selLength);
  std::abort();
}

int Length(const HexEditState& box) { return static_cast<int>(box.text.size()); }
int Upper(int key) { return key >= 'a' && key <= 'f' ? key - 'a' + 'A' : key; }

// One key on a box in a valid state, with what each kind of key must do.
HexEditState TypeKey(const HexEditState& box, int key) {
  const auto [after, commit] = regdiag::ApplyHexKey(box, key);
  const bool digit = (Upper(key) >= '0' && Upper(key) <= '9') || (Upper(key) >= 'A' && Upper(key) <= 'F');
  if (key == regdiag::kKeyEscape) {
    Require(commit && after == HexEditState{"00", 1, 0}, after,
            "Escape did not leave 00, caret after the first");
  } else if (digit) {
    Require(commit && after.selLength == 0 && after.selStart >= 1 && after.selStart <= Length(after) &&
                after.text[after.selStart - 1] == Upper(key),
            after, "typed digit not just before the caret");
    // Typing at the end shifts the digits left: the newest two stay.
    const int shifted =
        (regdiag::ParseHexText(box.text) * 16 + regdiag::ParseHexText(std::string(1, key))) & 0xFF;
    Require(box.selLength != 0 || box.selStart != Length(box) ||
                (Length(after) == 2 && regdiag::ParseHexText(after.text) == shifted),
            after, "typing at the end did not shift the digits left");
  } else {
    Require(commit == (key == regdiag::kKeyBackspace) && (commit || after == box), after,
            "a key that is no digit changed the box");
  }
  Require(regdiag::IsRowHexText(after.text) && after.text.find_first_of("abcdef") == std::string::npos, after,
          "text is not one or two upper-case hex digits");
  Require(after.selStart >= 0 && after.selLength >= 0 && after.selStart + after.selLength <= Length(after),
          after, "caret or selection outside the text");
  return after;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  const auto next = [&] { return at < size ? int{data[at++]} : 0; };
  HexEditState box{"00", 2, 0};  // a box set to a text has the caret at its end
  while (at < size) {
    const int length = Length(box);
    switch (next() % 8) {
      case 0:  // a typed character
        box = TypeKey(box, next());
        break;
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
      case 7: {  // a caret or selection out of range is clamped first
        const HexEditState raw{box.text, static_cast<std::int8_t>(next()), static_cast<std::int8_t>(next())};
        const int start = std::clamp(raw.selStart, 0, length);
        const HexEditState clamped{box.text, start, std::clamp(raw.selLength, 0, length - start)};
        const int key = next();
        const auto fromRaw = regdiag::ApplyHexKey(raw, key);
        const auto fromClamped = regdiag::ApplyHexKey(clamped, key);
        Require(fromRaw.commit == fromClamped.commit &&
                    fromRaw.state == (fromRaw.commit ? fromClamped.state : raw),
                fromRaw.state, "an out-of-range caret was not clamped");
        TypeKey(clamped, key);
        break;
      }
    }
  }
  return 0;
}
