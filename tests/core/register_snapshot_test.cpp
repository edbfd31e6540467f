// Register snapshot files: what is read, what is refused with which line
// number, and what is written.
#include "core/map/register_snapshot.h"

#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/files/file_read.h"
#include "core/map/name_text.h"

namespace regdiag {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

RegisterMap SampleMap() {
  const FileRead file = ReadFileWhole(REGDIAG_SAMPLE_MAP);
  EXPECT_EQ(file.outcome, FileRead::Outcome::Loaded);
  return ParseRegisterMap(file.bytes);
}

std::vector<std::pair<int, int>> AddressesAndValues(const std::vector<SnapshotEntry>& entries) {
  std::vector<std::pair<int, int>> pairs;
  for (const SnapshotEntry& entry : entries) pairs.emplace_back(entry.address, entry.value);
  return pairs;
}

std::vector<std::string> Texts(const std::vector<SnapshotNote>& notes) {
  std::vector<std::string> texts;
  for (const SnapshotNote& note : notes) texts.push_back(NoteText(note));
  return texts;
}

// A byte order mark, CR LF, comments, blank lines, blanks around fields and
// every number form, as a person edits a file.
TEST(RegisterSnapshotTest, ReadsAHandEditedFile) {
  const FileRead file = ReadFileWhole(REGDIAG_TEST_DATA_DIR "/snapshot_hand_edited.csv");
  ASSERT_EQ(file.outcome, FileRead::Outcome::Loaded);
  const SnapshotRead read = ParseSnapshot(file.bytes, SampleMap());
  EXPECT_THAT(read.errors, ElementsAre());
  EXPECT_THAT(
      AddressesAndValues(read.entries),
      ElementsAre(Pair(0x00, 0xA7), Pair(0x01, 0x05), Pair(0x10, 0x64), Pair(0x11, 200), Pair(0x2F, 0x10)));
  EXPECT_EQ(read.entries[2].name, "BUCK1_CTRL");
  EXPECT_EQ(read.entries[2].line, 8);
  EXPECT_THAT(Texts(read.warnings),
              ElementsAre("line 9: the map calls register 0x11 BUCK1_VOUT, the file calls it BUCK1_VOLT"));
}

// Any error refuses the whole file; a name that differs is only a warning.
TEST(RegisterSnapshotTest, RefusesABadFileWholeWithTheLineOfEachError) {
  const std::string header = "address,name,value\n";
  const struct {
    std::string bytes;
    std::vector<std::string> errors, warnings = {};
  } kCases[] = {
      {"", {"line 1: expected the header address,name,value, found the end of the file"}},
      {"# only a comment\n", {"line 2: expected the header address,name,value, found the end of the file"}},
      {"0x01,SYS_CTRL,0x05\n" + header, {"line 1: expected the header address,name,value"}},
      {header + "0x01,SYS_CTRL\n", {"line 2: expected three fields: address,name,value"}},
      {header + "0x01,SYS,CTRL,0x05\n", {"line 2: expected three fields: address,name,value"}},
      {header + "0x100,X,0x01\n", {"line 2: register address out of range (0x00-0xFF): 0x100"}},
      {header + "0x1G,X,0x01\n", {"line 2: malformed register address '0x1G' (expected 0x12, 18 or &H12)"}},
      {header + "0x01,SYS_CTRL,256\n", {"line 2: value out of range (0x00-0xFF): 256"}},
      {header + "0x01,SYS_CTRL,\n", {"line 2: malformed value '' (expected 0x05, 5 or &H05)"}},
      {header + "0x01,SYS_CTRL,1\r\n#\r\n1,SYS_CTRL,2\r\n",
       {"line 4: register 0x01 given twice (first on line 2)"}},
      {header + "0x02,\xFF,0x01\n", {"line 2: not UTF-8 text"}},
      // CR alone ends a line too; blanks around the header's words and a
      // name's case do not matter.
      {" address , name ,value\r0x01,sys_ctrl,1\r0x02,A\x1b]B,1\r0x01,SYS_CTRL,2\r",
       {"line 4: register 0x01 given twice (first on line 2)"},
       {"line 3: the map calls register 0x02 INT_STATUS, the file calls it A\x1b]B"}},
      {header + "0x01,A,zz\n0x02,INT_STATUS,0x01\n-1,C,1\n",
       {"line 2: malformed value 'zz' (expected 0x05, 5 or &H05)",
        "line 4: register address out of range (0x00-0xFF): -1"}},
      {header + "0x01,,0x05\n0x2F,\tTRIM,1\n",
       {},
       {"line 2: the map calls register 0x01 SYS_CTRL, the file gives no name",
        "line 3: the map names no register 0x2F, the file calls it TRIM"}},
  };
  const RegisterMap map = SampleMap();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bytes);
    const SnapshotRead read = ParseSnapshot(c.bytes, map);
    EXPECT_EQ(Texts(read.errors), c.errors);
    EXPECT_EQ(Texts(read.warnings), c.warnings);
    EXPECT_EQ(read.entries.empty(), read.Refused());
  }
}

// Every named register, in address order, with LF line ends and names as
// UTF-8 with no separator in them; what is written reads back the same,
// whatever byte a name holds.
TEST(RegisterSnapshotTest, WritesEveryNamedRegisterAndReadsItBack) {
  RegisterMap map = SampleMap();
  RegisterValueCache cache{};
  for (int address = 0; address < kRegisterCount; ++address) {
    cache.Store(address, static_cast<std::int16_t>(255 - address));
    if (address >= 0x30)
      map.RegisterNames[address] = "N" + std::string(1, static_cast<char>(address - 0x30)) + "M";
  }
  for (int byte = 0xD0; byte < 0x100; ++byte) map.RegisterNames[byte - 0xD0] += static_cast<char>(byte);
  map.RegisterNames[0x43] = " A\rB,C\n ";
  const std::string text = WriteSnapshot(map, cache);
  EXPECT_TRUE(
      text.starts_with("address,name,value\n0x00,CHIP_ID\xC3\x90,0xFF\n0x01,SYS_CTRL\xC3\x91,0xFE\n"));
  EXPECT_NE(text.find("\n0x43,A B C,0xBC\n0x44,N\x14M,0xBB\n"), std::string::npos);
  const SnapshotRead read = ParseSnapshot(text, map);
  EXPECT_THAT(Texts(read.errors), ElementsAre());
  EXPECT_THAT(Texts(read.warnings), ElementsAre());
  const std::vector<SnapshotEntry> written = SnapshotOfCache(map, cache);
  EXPECT_EQ(AddressesAndValues(read.entries), AddressesAndValues(written));
  for (std::size_t i = 0; i < written.size() && i < read.entries.size(); ++i)
    EXPECT_EQ(read.entries[i].name, written[i].name);
  EXPECT_EQ(read.entries.size(), 256u);
}

// A snapshot is UTF-8, and only well-formed UTF-8: no overlong forms, no
// surrogates, nothing past U+10FFFF, no sequence cut short.
TEST(RegisterSnapshotTest, WellFormedUtf8) {
  // clang-format off
  const std::pair<const char*, bool> kCases[] = {
      {"A\xC2\x80", true}, {"\xDF\xBF", true}, {"\xC1\xBF", false}, {"\xE0\xA0\x80", true}, {"\xE0\x9F\xBF", false},
      {"\xED\x9F\xBF", true}, {"\xED\xA0\x80", false}, {"\xEF\xBF\xBF", true}, {"\xF0\x90\x80\x80", true},
      {"\xF0\x8F\xBF\xBF", false}, {"\xF4\x8F\xBF\xBF", true}, {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false}, {"\xE2\x82", false}, {"\xE2\x28\xA1", false}, {"\xE2\x82\xC0", false},
      {"\x80", false}, {"\xF0\x90\x80\x7F", false}};
  // clang-format on
  for (const auto& [bytes, utf8] : kCases) EXPECT_EQ(IsUtf8(bytes), utf8) << ::testing::PrintToString(bytes);
}

}  // namespace
}  // namespace regdiag
