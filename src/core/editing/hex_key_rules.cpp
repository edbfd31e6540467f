#include "core/editing/hex_key_rules.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/text/hex_value.h"

namespace regdiag {

namespace {

// Caret within the text, selection within the rest of the text.
HexEditState Clamped(const HexEditState& state) {
  HexEditState clamped = state;
  const int length = static_cast<int>(clamped.text.size());
  clamped.selStart = std::clamp(clamped.selStart, 0, length);
  clamped.selLength = std::clamp(clamped.selLength, 0, length - clamped.selStart);
  return clamped;
}

// Setting the whole text puts the caret at the start with nothing selected.
void SetText(HexEditState& state, std::string text) {
  state.text = std::move(text);
  state.selStart = 0;
  state.selLength = 0;
}

void ApplyBackspace(HexEditState& state) {
  if (state.selLength > 0) {
    state.text.erase(static_cast<std::size_t>(state.selStart), static_cast<std::size_t>(state.selLength));
  } else if (state.selStart != 0) {
    state.text.erase(static_cast<std::size_t>(state.selStart - 1), 1);
    --state.selStart;
  }
  state.selLength = 0;
  // The box never stays empty: an emptied box reads "0" with the caret after it.
  if (state.text.empty()) {
    state.text.assign(1, '0');
    state.selStart = 1;
  }
}

void ApplyDigit(HexEditState& state, char digit) {
  std::string& text = state.text;
  const int length = static_cast<int>(text.size());
  const int caret = state.selStart;
  if (state.selLength > 0) {
    text.replace(static_cast<std::size_t>(caret), static_cast<std::size_t>(state.selLength), 1, digit);
    state.selStart = caret + 1;
  } else if (caret == 0 && length == 2) {
    text[0] = digit;
    state.selStart = 1;
  } else if (caret == 0 && length <= 1) {
    text = std::string{'0', digit};
    state.selStart = 2;
  } else if (caret == length) {
    // Typing at the end shifts the digits left: the newest two stay.
    text.push_back(digit);
    if (text.size() > 2) text.erase(0, text.size() - 2);
    state.selStart = static_cast<int>(text.size());
  } else if (caret == 1 && length == 2) {
    text[1] = digit;
    state.selStart = 2;
  }
  // Otherwise the caret is inside a longer text and the digit is dropped.
  state.selLength = 0;
}

}  // namespace

HexKeyOutcome ApplyHexKey(const HexEditState& before, int keyCode) {
  HexEditState state = Clamped(before);
  int key = keyCode;
  if (key >= 'a' && key <= 'f') key -= 'a' - 'A';

  if (key == kKeyBackspace) {
    ApplyBackspace(state);
    return {std::move(state), true};
  }
  if (key == kKeyEscape) {
    // Escape clears the box to "00" and then types a '0' at its start.
    SetText(state, "00");
    key = '0';
  }
  const bool isDigit = key >= 0 && key < 0x80 && HexDigitValue(static_cast<char>(key)) >= 0;
  if (!isDigit) return {before, false};

  ApplyDigit(state, static_cast<char>(key));
  return {std::move(state), true};
}

}  // namespace regdiag
