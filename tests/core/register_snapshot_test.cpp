// Register snapshot files, on real file bytes: what is read, what is refused
// with which line number, and what is written.
#include "map/register_snapshot.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "map/map_file.h"

namespace regdiag {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

RegisterMap SampleMap() {
  const MapFileRead file = ReadFileWhole(REGDIAG_SAMPLE_MAP);
  EXPECT_EQ(file.outcome, MapFileRead::Outcome::Loaded);
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

TEST(RegisterSnapshotTest, ReadsAHandEditedFileWithCrLfAndEveryNumberForm) {
  const MapFileRead file = ReadFileWhole(REGDIAG_TEST_DATA_DIR "/snapshot_hand_edited.csv");
  ASSERT_EQ(file.outcome, MapFileRead::Outcome::Loaded);
  const SnapshotRead read = ParseSnapshot(file.bytes, SampleMap());
  EXPECT_THAT(read.errors, ElementsAre());
  EXPECT_THAT(
      AddressesAndValues(read.entries),
      ElementsAre(Pair(0x00, 0xA7), Pair(0x01, 0x05), Pair(0x10, 0x64), Pair(0x11, 200), Pair(0x2F, 0x10)));
  EXPECT_EQ(read.entries[2].name, "BUCK1_CTRL");
  EXPECT_EQ(read.entries[2].line, 8);
  // The name is only informational: a wrong one is a warning.
  EXPECT_THAT(Texts(read.warnings),
              ElementsAre("line 9: the map calls register 0x11 BUCK1_VOUT, the file calls it BUCK1_VOLT"));
}

TEST(RegisterSnapshotTest, RefusesABadFileWholeWithTheLineOfEachError) {
  const std::string header = "address,name,value\n";
  const struct {
    std::string bytes;
    std::vector<std::string> errors;
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
      {header + "0x02,A\rB,0x01\n", {"line 2: a control character in the line"}},
      {header + "0x01,A,zz\n0x02,B,0x01\n-1,C,1\n",
       {"line 2: malformed value 'zz' (expected 0x05, 5 or &H05)",
        "line 4: register address out of range (0x00-0xFF): -1"}},
  };
  const RegisterMap map = SampleMap();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bytes);
    const SnapshotRead read = ParseSnapshot(c.bytes, map);
    EXPECT_EQ(Texts(read.errors), c.errors);
    EXPECT_TRUE(read.Refused());
    EXPECT_THAT(read.entries, ElementsAre());
  }
}

TEST(RegisterSnapshotTest, WritesEveryNamedRegisterWithLfAndReadsItBack) {
  RegisterMap map = SampleMap();
  map.RegisterNames[0x42] = "WDT\xE9KICK";  // a Latin-1 name becomes UTF-8
  RegisterValueCache cache{};
  for (int address = 0; address < kRegisterCount; ++address)
    cache[address] = static_cast<std::int16_t>(255 - address);

  const std::string text = WriteSnapshot(map, cache);
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("regdiag_snapshot_" + std::to_string(::getpid()) + ".csv");
  std::ofstream(path, std::ios::binary) << text;
  const MapFileRead file = ReadFileWhole(path);
  std::filesystem::remove(path);

  ASSERT_EQ(file.bytes, text);
  EXPECT_TRUE(text.starts_with("address,name,value\n0x00,CHIP_ID,0xFF\n0x01,SYS_CTRL,0xFE\n"));
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_NE(text.find("\n0x42,WDT\xC3\xA9KICK,0xBD\n"), std::string::npos);
  const SnapshotRead read = ParseSnapshot(file.bytes, map);
  EXPECT_THAT(read.errors, ElementsAre());
  EXPECT_THAT(read.warnings, ElementsAre());
  const std::vector<SnapshotEntry> named = SnapshotOfCache(map, cache);
  EXPECT_EQ(AddressesAndValues(read.entries), AddressesAndValues(named));
  EXPECT_EQ(named.size(), 23u);  // the sample map names 23 registers; 0x2F has no name
}

}  // namespace
}  // namespace regdiag
