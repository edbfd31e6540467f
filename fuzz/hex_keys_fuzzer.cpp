// The hex key rules driven like a row's value box: starting from "00", the
// input is read as a sequence of operations (typed keys, caret moves,
// selections, pastes, Escape, Backspace) and after every one the box must
// still hold one or two upper-case hex digits, a value 0..255, and a caret
// and selection within its text.
//
// Input layout: one byte picks the operation, the bytes after it are its
// arguments; a missing argument reads as 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "editing/core/hex_key_rules.h"
#include "editing/core/hex_value.h"

namespace {

using regdiag::HexEditState;
using regdiag::HexKeyOutcome;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  [[nodiscard]] bool Done() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Bytes(std::size_t count) {
    std::string text;
    while (count-- > 0 && !Done()) text.push_back(static_cast<char>(Byte()));
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

[[noreturn]] void Fail(const HexEditState& state, const char* what) {
  std::fprintf(stderr, "hex box broken: %s (text \"%s\", caret %d, selection %d)\n", what, state.text.c_str(),
               state.selStart, state.selLength);
  std::abort();
}

void Require(bool holds, const HexEditState& state, const char* what) {
  if (!holds) Fail(state, what);
}

int Length(const HexEditState& state) { return static_cast<int>(state.text.size()); }

// What the box may hold between any two operations.
void CheckBox(const HexEditState& box) {
  Require(regdiag::IsRowHexText(box.text), box, "text is not one or two hex digits");
  const std::int32_t value = regdiag::ParseHexText(box.text);
  Require(value >= 0 && value <= 255, box, "value outside 0..255");
  Require(std::none_of(box.text.begin(), box.text.end(), [](char c) { return c >= 'a' && c <= 'f'; }), box,
          "lower-case digit in the box");
  Require(box.selStart >= 0 && box.selLength >= 0 && box.selStart + box.selLength <= Length(box), box,
          "caret or selection outside the text");
}

bool IsHexKey(int key) {
  return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
}

char UpperDigit(int key) { return static_cast<char>(key >= 'a' && key <= 'f' ? key - 'a' + 'A' : key); }

// One typed key on a box in a valid state, with what every key class must do.
HexEditState TypeKey(const HexEditState& box, int key) {
  const HexKeyOutcome out = regdiag::ApplyHexKey(box, key);
  const HexEditState& after = out.state;
  if (key == regdiag::kKeyBackspace) {
    Require(out.commit, after, "Backspace not committed");
  } else if (key == regdiag::kKeyEscape) {
    Require(out.commit && after == HexEditState{"00", 1, 0}, after,
            "Escape did not leave 00 with the caret after the first digit");
  } else if (IsHexKey(key)) {
    Require(out.commit, after, "digit not committed");
    Require(after.selLength == 0 && after.selStart >= 1 && after.selStart <= Length(after), after,
            "caret not after the typed digit");
    Require(after.text[static_cast<std::size_t>(after.selStart - 1)] == UpperDigit(key), after,
            "typed digit not before the caret");
    if (box.selLength == 0 && box.selStart == Length(box)) {
      // Typing at the end shifts the digits left: the newest two stay.
      const std::int32_t shifted =
          (regdiag::ParseHexText(box.text) * 16 + regdiag::ParseHexText(std::string(1, UpperDigit(key)))) &
          0xFF;
      Require(Length(after) == 2 && regdiag::ParseHexText(after.text) == shifted, after,
              "typing at the end did not shift the digits left");
    }
  } else {
    Require(!out.commit && after == box, after, "a key that is no digit changed the box");
  }
  CheckBox(after);
  return after;
}

// A paste types its text key by key; it commits when any key did.
HexEditState Paste(const HexEditState& box, std::string_view text) {
  const HexKeyOutcome pasted = regdiag::TypeHexText(box, text);
  HexEditState typed = box;
  bool commit = false;
  for (const char c : text) {
    const int key = static_cast<unsigned char>(c);
    commit = commit || key == regdiag::kKeyBackspace || key == regdiag::kKeyEscape || IsHexKey(key);
    typed = TypeKey(typed, key);
  }
  Require(pasted.state == typed, pasted.state, "paste differs from typing its text");
  Require(pasted.commit == commit, pasted.state, "paste commit differs from its keys'");
  CheckBox(pasted.state);
  return pasted.state;
}

// A state handed over with the caret or selection out of range is clamped
// first: it must come out as the in-range state would.
void TypeOnUnclampedState(const HexEditState& box, int start, int length, int key) {
  const HexEditState raw{box.text, start, length};
  HexEditState clamped = raw;
  clamped.selStart = std::clamp(start, 0, Length(box));
  clamped.selLength = std::clamp(length, 0, Length(box) - clamped.selStart);
  const HexKeyOutcome fromRaw = regdiag::ApplyHexKey(raw, key);
  const HexKeyOutcome fromClamped = regdiag::ApplyHexKey(clamped, key);
  Require(fromRaw.commit == fromClamped.commit, fromRaw.state, "clamping changed whether the key commits");
  if (fromRaw.commit) {
    Require(fromRaw.state == fromClamped.state, fromRaw.state, "an out-of-range caret was not clamped");
    CheckBox(fromRaw.state);
  }
}

int SignedArgument(Input& in) { return static_cast<std::int8_t>(in.Byte()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  // A box set to a text has the caret at its end.
  HexEditState box{"00", 2, 0};
  while (!in.Done()) {
    const int length = Length(box);
    switch (in.Byte() % 8) {
      case 0:  // a typed character
        box = TypeKey(box, in.Byte());
        break;
      case 1: {  // a character beyond Latin-1, as the window hands them on
        const int high = in.Byte();
        box = TypeKey(box, high << 8 | in.Byte());
        break;
      }
      case 2:  // caret moved, nothing selected
        box.selStart = in.Byte() % (length + 1);
        box.selLength = 0;
        break;
      case 3: {  // a selection
        box.selStart = in.Byte() % (length + 1);
        box.selLength = in.Byte() % (length - box.selStart + 1);
        break;
      }
      case 4:  // a paste of up to 15 characters
        box = Paste(box, in.Bytes(in.Byte() % 16));
        break;
      case 5:
        box = TypeKey(box, regdiag::kKeyEscape);
        break;
      case 6:
        box = TypeKey(box, regdiag::kKeyBackspace);
        break;
      case 7: {
        const int start = SignedArgument(in);
        const int selected = SignedArgument(in);
        TypeOnUnclampedState(box, start, selected, in.Byte());
        break;
      }
    }
    CheckBox(box);
  }
  return 0;
}
