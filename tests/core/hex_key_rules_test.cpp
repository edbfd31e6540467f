#include "editing/core/hex_key_rules.h"

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editing/core/hex_value.h"

namespace regdiag {

// Readable states in failure messages.
static void PrintTo(const HexEditState& state, std::ostream* os) {
  *os << "{\"" << state.text << "\", s=" << state.selStart << ", l=" << state.selLength << "}";
}

namespace {

constexpr int kBs = kKeyBackspace;
constexpr int kEsc = kKeyEscape;

struct KeyCase {
  const char* name;
  HexEditState before;
  int key;
  HexEditState after;
  bool commit;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class HexKeyRuleTest : public testing::TestWithParam<KeyCase> {};

TEST_P(HexKeyRuleTest, GivesStateAndCommit) {
  const KeyCase& c = GetParam();
  const HexKeyOutcome outcome = ApplyHexKey(c.before, c.key);
  EXPECT_EQ(outcome.state, c.after);
  EXPECT_EQ(outcome.commit, c.commit);
}

// Digits: lower-case letters fold to upper case, then the first rule that fits.
INSTANTIATE_TEST_SUITE_P(
    Digits, HexKeyRuleTest,
    testing::Values(KeyCase{"LowerAAtEndShiftsLeft", {"3F", 2, 0}, 'a', {"FA", 2, 0}, true},
                    KeyCase{"CaretAtStartReplacesFirst", {"3F", 0, 0}, '1', {"1F", 1, 0}, true},
                    KeyCase{"CaretInMiddleReplacesSecond", {"1F", 1, 0}, '2', {"12", 2, 0}, true},
                    KeyCase{"AtEndKeepsLastTwo", {"12", 2, 0}, '3', {"23", 2, 0}, true},
                    KeyCase{"BothSelectedReplaced", {"3F", 0, 2}, 'C', {"C", 1, 0}, true},
                    KeyCase{"SingleCharAtEndAppends", {"C", 1, 0}, '4', {"C4", 2, 0}, true},
                    KeyCase{"SecondSelectedReplaced", {"3F", 1, 1}, '0', {"30", 2, 0}, true},
                    KeyCase{"FirstSelectedReplaced", {"3F", 0, 1}, '7', {"7F", 1, 0}, true},
                    KeyCase{"SingleCharCaretAtStart", {"5", 0, 0}, '7', {"07", 2, 0}, true},
                    KeyCase{"EmptyTextLowerB", {"", 0, 0}, 'b', {"0B", 2, 0}, true},
                    KeyCase{"LongTextCaretInsideDropped", {"ABC", 1, 0}, '5', {"ABC", 1, 0}, true},
                    KeyCase{"LongTextCaretAtEnd", {"ABC", 3, 0}, '1', {"C1", 2, 0}, true},
                    KeyCase{"LongTextCaretAtStart", {"ABC", 0, 0}, '1', {"ABC", 0, 0}, true},
                    KeyCase{"LongTextSelection", {"ABC", 1, 1}, '5', {"A5C", 2, 0}, true}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Backspace, HexKeyRuleTest,
    testing::Values(KeyCase{"AtEndDeletesLast", {"3F", 2, 0}, kBs, {"3", 1, 0}, true},
                    KeyCase{"LastCharLeavesZero", {"3", 1, 0}, kBs, {"0", 1, 0}, true},
                    KeyCase{"InMiddleDeletesFirst", {"3F", 1, 0}, kBs, {"F", 0, 0}, true},
                    KeyCase{"AtStartDeletesNothing", {"F", 0, 0}, kBs, {"F", 0, 0}, true},
                    KeyCase{"AllSelectedLeavesZero", {"3F", 0, 2}, kBs, {"0", 1, 0}, true},
                    KeyCase{"SecondSelected", {"3F", 1, 1}, kBs, {"3", 1, 0}, true},
                    KeyCase{"FirstSelected", {"3F", 0, 1}, kBs, {"F", 0, 0}, true},
                    KeyCase{"EmptyTextBecomesZero", {"", 0, 0}, kBs, {"0", 1, 0}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Escape sets "00" (caret at start) and then types a '0' there.
INSTANTIATE_TEST_SUITE_P(Escape, HexKeyRuleTest,
                         testing::Values(KeyCase{"FromSelection", {"3F", 0, 2}, kEsc, {"00", 1, 0}, true},
                                         KeyCase{"FromEmpty", {"", 0, 0}, kEsc, {"00", 1, 0}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Out-of-range carets and selections are brought into the text first.
INSTANTIATE_TEST_SUITE_P(
    Clamping, HexKeyRuleTest,
    testing::Values(KeyCase{"CaretPastEnd", {"3F", 5, 0}, 'a', {"FA", 2, 0}, true},
                    KeyCase{"NegativeCaret", {"3F", -3, 0}, '1', {"1F", 1, 0}, true},
                    KeyCase{"NegativeSelection", {"3F", 1, -1}, '0', {"30", 2, 0}, true},
                    KeyCase{"SelectionPastEnd", {"3F", 0, 10}, 'C', {"C", 1, 0}, true},
                    KeyCase{"SelectionPastEndAtMiddle", {"3F", 1, 10}, kBs, {"3", 1, 0}, true},
                    KeyCase{"SelectionBeyondCaretAtEnd", {"3F", 2, 3}, 'a', {"FA", 2, 0}, true}),

    [](const auto& info) { return std::string(info.param.name); });

// Keys that are neither hex digits, Backspace nor Escape leave the box alone,
// whatever state it is in.
TEST(HexKeyClassTest, DroppedKeysLeaveEveryStateAlone) {
  const HexEditState starts[] = {{"3F", 0, 2}, {"", 0, 0}, {"5", 0, 0},
                                 {"ABC", 1, 1}, {"3F", 7, -2}};  // out of range: still handed back as it came
  for (const int key : {13, int{'G'}, 0, -1, 8 + 256, '0' + 256}) {
    for (const HexEditState& start : starts) {
      SCOPED_TRACE(testing::PrintToString(start) + " key " + std::to_string(key));
      const HexKeyOutcome outcome = ApplyHexKey(start, key);
      EXPECT_EQ(outcome.state, start);
      EXPECT_FALSE(outcome.commit);
    }
  }
}

TEST(HexKeyClassTest, EveryKeyCodeCommitsExactlyWhenAccepted) {
  const HexEditState start{"3F", 2, 0};
  for (int key = -300; key <= 600; ++key) {
    SCOPED_TRACE(key);
    const bool accepted = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') ||
                          (key >= 'a' && key <= 'f') || key == kBs || key == kEsc;
    const HexKeyOutcome outcome = ApplyHexKey(start, key);
    EXPECT_EQ(outcome.commit, accepted);
    if (!accepted) {
      EXPECT_EQ(outcome.state, start);
    }
  }
}

TEST(HexKeyClassTest, LowerCaseLetterActsAsUpperCase) {
  const HexEditState starts[] = {{"3F", 2, 0}, {"3F", 0, 0}, {"3F", 1, 0}, {"3F", 0, 2},
                                 {"5", 0, 0},  {"", 0, 0},   {"3F", 1, 1}};
  for (int offset = 0; offset < 6; ++offset) {
    for (const HexEditState& start : starts) {
      SCOPED_TRACE(testing::PrintToString(start) + " letter " + std::to_string(offset));
      const HexKeyOutcome lower = ApplyHexKey(start, 'a' + offset);
      const HexKeyOutcome upper = ApplyHexKey(start, 'A' + offset);
      EXPECT_EQ(lower.state, upper.state);
      EXPECT_TRUE(lower.commit);
      EXPECT_NE(upper.state.text.find(static_cast<char>('A' + offset)), std::string::npos);
    }
  }
}

TEST(HexKeyWalkTest, TwoDigitEntryFromStart) {
  HexKeyOutcome outcome = ApplyHexKey({"00", 0, 0}, '1');
  EXPECT_EQ(outcome.state, (HexEditState{"10", 1, 0}));
  outcome = ApplyHexKey(outcome.state, '2');
  EXPECT_EQ(outcome.state, (HexEditState{"12", 2, 0}));
  outcome = ApplyHexKey(outcome.state, '3');
  EXPECT_EQ(outcome.state, (HexEditState{"23", 2, 0}));
  EXPECT_TRUE(outcome.commit);
}

TEST(HexKeyWalkTest, EscapeThenTwoDigits) {
  // Escape leaves the caret after the first '0', so the digits fill from the second place.
  HexKeyOutcome outcome = ApplyHexKey({"3F", 1, 1}, kEsc);
  outcome = ApplyHexKey(outcome.state, 'e');
  EXPECT_EQ(outcome.state, (HexEditState{"0E", 2, 0}));
  outcome = ApplyHexKey(outcome.state, '7');
  EXPECT_EQ(outcome.state, (HexEditState{"E7", 2, 0}));
}

struct TypeCase {
  const char* name;
  HexEditState before;
  std::string typed;
  HexEditState after;
  bool commit;
};

TEST(TypeHexTextTest, Pastes) {
  const TypeCase kCases[] = {
      {"DigitsAtEndKeepLastTwo", {"00", 2, 0}, "12345", {"45", 2, 0}, true},
      {"NoHexDigits", {"00", 2, 0}, "xyz", {"00", 2, 0}, false},
      {"Empty", {"3F", 1, 1}, "", {"3F", 1, 1}, false},
      {"MixedKeepsDigits", {"00", 2, 0}, "x1y", {"01", 2, 0}, true},
      {"NonAsciiBytesDropped", {"12", 2, 0}, "\xC3\xA9\xFF", {"12", 2, 0}, false},
      {"EscapeCharacter", {"3F", 2, 0}, "\x1b", {"00", 1, 0}, true},
      {"PrefixedHex", {"00", 2, 0}, "0x1F", {"1F", 2, 0}, true},
  };
  for (const TypeCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const HexKeyOutcome outcome = TypeHexText(c.before, c.typed);
    EXPECT_EQ(outcome.state, c.after);
    EXPECT_EQ(outcome.commit, c.commit);
  }
}

// Random states and key sequences: a row text stays a row text.
class HexKeyPropertyTest : public testing::Test {
 protected:
  std::mt19937 random_{20240611u};

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  HexEditState RandomRowState() {
    static constexpr char kChars[] = "0123456789ABCDEFabcdef";
    HexEditState state;
    const int length = Between(0, 2);
    for (int i = 0; i < length; ++i) state.text.push_back(kChars[Between(0, 21)]);
    state.selStart = Between(-2, length + 2);
    state.selLength = Between(-2, 4);
    return state;
  }

  int RandomKey() {
    static constexpr char kInteresting[] = "0123456789ABCDEFabcdef\b\x1b";
    switch (Between(0, 2)) {
      case 0:
        return static_cast<unsigned char>(kInteresting[Between(0, 23)]);
      case 1:
        return Between(0, 255);
      default:
        return Between(-20, 400);
    }
  }
};

TEST_F(HexKeyPropertyTest, RowTextStaysRowText) {
  for (int trial = 0; trial < 20000; ++trial) {
    const HexEditState start = RandomRowState();
    std::vector<int> keys(static_cast<std::size_t>(Between(0, 8)));
    for (int& key : keys) key = RandomKey();

    HexKeyOutcome outcome{start, false};
    for (const int key : keys) {
      const HexKeyOutcome step = ApplyHexKey(outcome.state, key);
      outcome = {step.state, outcome.commit || step.commit};
    }
    const HexEditState& end = outcome.state;
    SCOPED_TRACE(testing::PrintToString(start) + " -> " + testing::PrintToString(end));
    EXPECT_LE(end.text.size(), 2u);
    if (!outcome.commit) {
      EXPECT_EQ(end, start);
      continue;
    }
    EXPECT_TRUE(IsRowHexText(end.text));
    EXPECT_GE(ParseHexText(end.text), 0);
    EXPECT_LE(ParseHexText(end.text), 255);
    EXPECT_GE(end.selStart, 0);
    EXPECT_LE(end.selStart, static_cast<int>(end.text.size()));
    EXPECT_EQ(end.selLength, 0);
    if (end.text.find_first_of("abcdef") != std::string::npos) {
      // Lower case can only survive from the start text.
      EXPECT_NE(start.text.find_first_of("abcdef"), std::string::npos);
    }
  }
}

TEST_F(HexKeyPropertyTest, TypingTextEqualsTypingItsBytes) {
  for (int trial = 0; trial < 5000; ++trial) {
    const HexEditState start = RandomRowState();
    std::string typed(static_cast<std::size_t>(Between(0, 8)), '\0');
    for (char& c : typed) c = static_cast<char>(Between(0, 1) ? RandomKey() : Between(0, 255));

    HexKeyOutcome expected{start, false};
    for (const char c : typed) {
      const HexKeyOutcome step = ApplyHexKey(expected.state, static_cast<unsigned char>(c));
      expected = {step.state, expected.commit || step.commit};
    }
    const HexKeyOutcome actual = TypeHexText(start, typed);
    SCOPED_TRACE(testing::PrintToString(start) + " typed " + testing::PrintToString(typed));
    EXPECT_EQ(actual.state, expected.state);
    EXPECT_EQ(actual.commit, expected.commit);
  }
}

}  // namespace
}  // namespace regdiag
