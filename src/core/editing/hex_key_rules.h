// The two-digit hex entry rules of a row's value box, as a pure function of
// the box's text, caret, selection and the typed key.
#pragma once

#include <string>

namespace regdiag {

// Key codes the rules treat specially.
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEscape = 27;

struct HexEditState {
  std::string text;   // T
  int selStart = 0;   // s: characters before the caret
  int selLength = 0;  // l: characters selected from the caret

  bool operator==(const HexEditState&) const = default;
};

struct HexKeyOutcome {
  HexEditState state;  // the box after the key
  // True when the row must be brought into step from the text (every
  // Backspace and digit, unchanged text included); false for a dropped key.
  bool commit = false;
};

// Applies one typed key code. The state is clamped into range first
// (caret within the text, selection within the text).
[[nodiscard]] HexKeyOutcome ApplyHexKey(const HexEditState& before, int keyCode);

}  // namespace regdiag
