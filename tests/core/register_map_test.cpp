#include "map/register_map.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace regdiag {
namespace {

struct Slot {
  int page;
  int row;
  int address;
};
// Names of bits 7 down to 0, in the order a BITS line lists them.
using BitList = std::array<const char*, kBitsPerRegister>;

std::string ReadDataFile(const char* name) {
  const std::filesystem::path path = std::filesystem::path(REGDIAG_TEST_DATA_DIR) / name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The map keeps its invariants, has tabCount pages, and shows exactly the
// listed slots; every other slot holds kNoRegister.
void ExpectRows(const RegisterMap& map, int tabCount, const std::vector<Slot>& filled) {
  EXPECT_EQ(MapInvariantBreach(map), "");
  EXPECT_EQ(map.TabCount, tabCount);
  std::array<std::array<int, kRowsPerPage>, kMaxPages> expected{};
  for (auto& page : expected) page.fill(kNoRegister);
  for (const Slot& slot : filled) expected[slot.page][slot.row] = slot.address;
  for (int page = 0; page < kMaxPages; ++page) {
    for (int row = 0; row < kRowsPerPage; ++row) {
      EXPECT_EQ(map.RowAddress[page][row], expected[page][row]) << "page " << page << " row " << row;
    }
  }
}

// Exactly the listed registers carry the listed names; all others are empty.
void ExpectNames(const RegisterMap& map, const std::vector<std::pair<int, std::string>>& named) {
  std::array<std::string, kRegisterCount> expected{};
  for (const auto& [address, name] : named) expected[address] = name;
  for (int address = 0; address < kRegisterCount; ++address) {
    EXPECT_EQ(map.RegisterNames[address], expected[address]) << "register " << address;
  }
}

// Exactly the listed registers have bit names; all others are empty.
void ExpectBits(const RegisterMap& map, const std::vector<std::pair<int, BitList>>& named) {
  std::array<std::array<std::string, kBitsPerRegister>, kRegisterCount> expected{};
  for (const auto& [address, list] : named) {
    for (int k = 0; k < kBitsPerRegister; ++k) expected[address][kBitsPerRegister - 1 - k] = list[k];
  }
  for (int address = 0; address < kRegisterCount; ++address) {
    for (int bit = 0; bit < kBitsPerRegister; ++bit) {
      EXPECT_EQ(map.BitNames[address][bit], expected[address][bit])
          << "register " << address << " bit " << bit;
    }
  }
}

constexpr BitList kAtoH = {"a", "b", "c", "d", "e", "f", "g", "h"};

void ExpectWorkedExample(const RegisterMap& map) {
  EXPECT_EQ(map.WindowTitle, "Board Register Tool");
  EXPECT_EQ(map.HeadingText, "Power Controller");
  ExpectRows(map, 2, {{0, 0, 0x00}, {0, 1, 0x01}, {1, 0, 0x10}});
  EXPECT_EQ(map.TabNames[0], "Control");
  EXPECT_EQ(map.TabNames[1], "Status");
  for (int page = 2; page < kMaxPages; ++page) EXPECT_EQ(map.TabNames[page], "") << page;
  ExpectNames(map, {{0x00, "CONFIG"}, {0x01, "LIMITS"}, {0x10, "STATUS"}});
  ExpectBits(map, {{0x00, {"EN", "MODE1", "MODE0", "-", "-", "-", "SS1", "SS0"}}});
}

TEST(RegisterMapTest, WorkedExampleFromDisk) {
  const std::string bytes = ReadDataFile("map_worked_example.csv");
  ASSERT_NE(bytes.find("\r\n"), std::string::npos) << "data file lost its CR LF line breaks";
  ExpectWorkedExample(ParseRegisterMap(bytes));
}

TEST(RegisterMapTest, EdgeCasesFromDisk) {
  const RegisterMap map = ParseRegisterMap(ReadDataFile("map_edge_cases.csv"));
  EXPECT_EQ(map.WindowTitle, "First Title");
  EXPECT_EQ(map.HeadingText, "Heading");
  ExpectRows(map, 2, {{0, 0, 0x10}, {0, 1, 17}, {0, 2, 0}, {0, 3, 5}, {1, 0, 0x10}, {1, 1, 16}, {1, 2, 18}});
  EXPECT_EQ(map.TabNames[0], "Main");
  EXPECT_EQ(map.TabNames[1], "Main");
  ExpectNames(map, {{0x10, "HALF"}, {17, "SEVENTEEN"}, {0, "ZERO"}, {18, "ODD_HALF"}});
  ExpectBits(map, {{0, {"B7", "B6", "B5", "B4", "B3", "B2", "B1", "B0"}},
                   {0x10, {"EN", "MODE", "1", "M0", "-", "-", "-", "S1"}}});
}

TEST(RegisterMapTest, LfOnlyFileIsOneLine) {
  const RegisterMap map = ParseRegisterMap(ReadDataFile("map_lf_only.csv"));
  ExpectRows(map, 1, {});
  EXPECT_EQ(map.TabNames[0], "Main\nREG");
  EXPECT_EQ(map.WindowTitle, "");
  ExpectNames(map, {});
}

TEST(RegisterMapTest, LineBreaks) {
  struct Case {
    const char* label;
    std::string text;
    int tabCount;
    std::string firstTab;
    std::vector<Slot> filled;
  };
  const Case kCases[] = {
      {"final CR LF", "TABNAME,Main\r\nREG,1,A\r\n", 1, "Main", {{0, 0, 1}}},
      {"no final CR LF", "TABNAME,Main\r\nREG,1,A", 1, "Main", {{0, 0, 1}}},
      {"empty lines skipped", "\r\n\r\nTABNAME,Main\r\n\r\nREG,1,A\r\n\r\n", 1, "Main", {{0, 0, 1}}},
      {"lone CR joins lines", "TABNAME,Main\rREG,1,A\r\n", 1, "Main\rREG", {}},
      {"CR before CR LF stays", "TABNAME,Main\r\r\nREG,1,A\r\n", 1, "Main\r", {{0, 0, 1}}},
      {"LF before CR LF stays", "TABNAME,Main\n\r\nREG,1,A\r\n", 1, "Main\n", {{0, 0, 1}}},
      {"empty file", "", 0, "", {}},
      {"only a lone CR", "\r", 0, "", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    const RegisterMap map = ParseRegisterMap(c.text);
    ExpectRows(map, c.tabCount, c.filled);
    EXPECT_EQ(map.TabNames[0], c.firstTab);
  }
}

TEST(RegisterMapTest, RowPlacement) {
  const std::string p = "TABNAME,P\r\n";
  struct Case {
    const char* label;
    std::string text;
    int tabCount;
    std::vector<Slot> filled;
  };
  const Case kCases[] = {
      {"hex", p + "REG,&H10,STATUS", 1, {{0, 0, 16}}},
      {"blanks inside number", p + "REG, 1 6 ,STATUS", 1, {{0, 0, 16}}},
      {"ties to even", p + "REG,16.5,A\r\nREG,17.5,B", 1, {{0, 0, 16}, {0, 1, 18}}},
      {"small negative rounds to 0", p + "REG,-0.4,Z", 1, {{0, 0, 0}}},
      {"out of range takes no row", p + "REG,300,X\r\nREG,-1,X\r\nREG,&HFFFF,X\r\nREG,2,Y", 1, {{0, 0, 2}}},
      {"edges of the byte", p + "REG,255,A\r\nREG,256,B\r\nREG,&HFF,C", 1, {{0, 0, 255}, {0, 1, 255}}},
      {"seven registers: row 5 shows the last",
       p + "REG,1,A\r\nREG,2,A\r\nREG,3,A\r\nREG,4,A\r\nREG,5,A\r\nREG,6,A\r\nREG,7,A",
       1,
       {{0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 5, 7}}},
      {"rows restart on each page",
       p + "REG,1,A\r\nREG,2,B\r\n" + p + "REG,3,C",
       2,
       {{0, 0, 1}, {0, 1, 2}, {1, 0, 3}}},
      {"empty page", "TABNAME,A\r\nTABNAME,B\r\nREG,1,X", 2, {{1, 0, 1}}},
      {"keyword in mixed case", "TabName,Main\r\nReG,1,A", 1, {{0, 0, 1}}},
      {"blank before keyword", " TABNAME,Main\r\nREG,1,A", 0, {}},
      {"blank after keyword", "TABNAME ,Main\r\n" + p + "REG ,1,A", 1, {}},
      {"empty name still placed", p + "REG,5,", 1, {{0, 0, 5}}},
      {"REG without a name field", p + "REG,5", 1, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    ExpectRows(ParseRegisterMap(c.text), c.tabCount, c.filled);
  }
}

TEST(RegisterMapTest, RegisterNames) {
  struct Case {
    const char* label;
    std::string text;
    std::vector<std::pair<int, std::string>> named;
  };
  const Case kCases[] = {
      {"later name replaces", "TABNAME,P\r\nREG,1,A\r\nREG,1,B", {{1, "B"}}},
      {"fields past the name ignored", "REG,1,NAME,EXTRA", {{1, "NAME"}}},
      {"no trimming", "REG,1, spaced name ", {{1, " spaced name "}}},
      {"bytes kept as they are", "REG,1,\xB5\x41\tB", {{1, "\xB5\x41\tB"}}},
      {"sixth of seven named though on no page",
       "TABNAME,P\r\nREG,1,A\r\nREG,2,B\r\nREG,3,C\r\nREG,4,D\r\nREG,5,E\r\nREG,6,F\r\nREG,7,G",
       {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {6, "F"}, {7, "G"}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    ExpectNames(ParseRegisterMap(c.text), c.named);
  }
}

TEST(RegisterMapTest, BitNames) {
  const std::string bits = "\r\nBITS,a,b,c,d,e,f,g,h";
  const std::string six = "TABNAME,P\r\nREG,1,A\r\nREG,2,A\r\nREG,3,A\r\nREG,4,A\r\nREG,5,A\r\nREG,6,A";
  struct Case {
    const char* label;
    std::string text;
    std::vector<std::pair<int, BitList>> named;
  };
  const Case kCases[] = {
      {"before any REG: register 0", bits, {{0, kAtoH}}},
      {"more than eight names", "REG,1,X" + bits + ",i,j", {{1, kAtoH}}},
      {"current register spans pages", "TABNAME,P\r\nREG,3,X\r\nTABNAME,Q\r\nTITLE,T" + bits, {{3, kAtoH}}},
      {"second BITS replaces",
       "REG,1,X" + bits + "\r\nBITS,,,,,,,,q",
       {{1, {"", "", "", "", "", "", "", "q"}}}},
      {"register later pushed off its row keeps its bits", six + bits + "\r\nREG,7,A", {{6, kAtoH}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    ExpectBits(ParseRegisterMap(c.text), c.named);
  }
}

TEST(RegisterMapTest, Titles) {
  struct Case {
    const char* text;
    const char* windowTitle;
    const char* heading;
  };
  const Case kCases[] = {
      {"TITLEBAR,A", "A", ""},
      {"TITLEBAR,", "", ""},
      {"TITLEBAR,A\r\nTITLEBAR,B", "B", ""},
      {"TITLEBAR,A\r\nTITLEBAR,", "A", ""},
      {"TITLEBAR, ", " ", ""},
      {"TITLE,H", "", "H"},
      {"TITLE,H\r\nTITLE,\r\nTITLE", "", "H"},
      {"title,H\r\ntitlebar,W", "W", "H"},
      {"TITLES,X\r\nTITLEBARS,Y", "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const RegisterMap map = ParseRegisterMap(c.text);
    EXPECT_EQ(map.WindowTitle, c.windowTitle);
    EXPECT_EQ(map.HeadingText, c.heading);
  }
}

TEST(RegisterMapTest, AddressAt) {
  const RegisterMap parsed = ParseRegisterMap("TABNAME,A\r\nREG,3,X\r\nTABNAME,B\r\nREG,4,Y\r\nREG,5,Z");
  const RegisterMap unparsed;
  struct Case {
    int page;
    int row;
    int parsed;
    int unparsed;
  };
  constexpr Case kCases[] = {
      {0, 0, 3, 0},    {1, 0, 4, 0},    {1, 1, 5, 0},    {1, 2, -1, 0},  {31, 5, -1, 0},
      {-1, 0, -1, -1}, {32, 0, -1, -1}, {0, -1, -1, -1}, {0, 6, -1, -1}, {1000, 1000, -1, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "page " << c.page << " row " << c.row);
    EXPECT_EQ(parsed.AddressAt(c.page, c.row), c.parsed);
    EXPECT_EQ(unparsed.AddressAt(c.page, c.row), c.unparsed);
  }
}

TEST(RegisterMapTest, InvariantBreachesAreFound) {
  const RegisterMap good = ParseRegisterMap("TABNAME,A\r\nREG,1,X\r\nREG,2,Y\r\nTABNAME,B\r\nREG,3,Z");
  ASSERT_EQ(MapInvariantBreach(good), "");
  struct Case {
    const char* label;
    void (*breach)(RegisterMap&);
  };
  const Case kCases[] = {
      {"slot above 255", [](RegisterMap& m) { m.RowAddress[0][2] = 256; }},
      {"negative slot other than empty", [](RegisterMap& m) { m.RowAddress[1][1] = -2; }},
      {"filled row below an empty one", [](RegisterMap& m) { m.RowAddress[0][3] = 7; }},
      {"empty row above filled ones", [](RegisterMap& m) { m.RowAddress[0][0] = kNoRegister; }},
      {"filled row past TabCount", [](RegisterMap& m) { m.RowAddress[2][0] = 7; }},
      {"too many pages", [](RegisterMap& m) { m.TabCount = 33; }},
      {"negative page count", [](RegisterMap& m) { m.TabCount = -1; }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    RegisterMap broken = good;
    c.breach(broken);
    EXPECT_NE(MapInvariantBreach(broken), "");
  }
  // A map that was never parsed holds 0 in every slot, also past TabCount.
  EXPECT_NE(MapInvariantBreach(RegisterMap{}), "");
}

// Limit: the 33rd and later TABNAME lines are ignored; the registers after
// them are named and become current but go on no page.
TEST(RegisterMapTest, LimitMorePagesThanTabs) {
  const RegisterMap map = ParseRegisterMap(ReadDataFile("map_too_many_pages.csv"));
  std::vector<Slot> filled;
  std::vector<std::pair<int, std::string>> named;
  for (int page = 0; page < kMaxPages; ++page) filled.push_back({page, 0, page});
  for (int reg = 0; reg < 34; ++reg) named.push_back({reg, "R" + std::to_string(reg)});
  ExpectRows(map, kMaxPages, filled);
  EXPECT_EQ(map.TabNames[0], "P1");
  EXPECT_EQ(map.TabNames[31], "P32");
  ExpectNames(map, named);
  ExpectBits(map, {{33, {"b7", "b6", "b5", "b4", "b3", "b2", "b1", "b0"}}});
}

// Limit: a REG line before the first TABNAME is named and current, on no page.
TEST(RegisterMapTest, LimitRegisterBeforeFirstPage) {
  const RegisterMap map =
      ParseRegisterMap("REG,7,EARLY\r\nBITS,a,b,c,d,e,f,g,h\r\nTABNAME,Main\r\nREG,8,MAIN\r\n");
  ExpectRows(map, 1, {{0, 0, 8}});
  ExpectNames(map, {{7, "EARLY"}, {8, "MAIN"}});
  ExpectBits(map, {{7, kAtoH}});
}

// Limit: a line with too few fields is ignored whole.
TEST(RegisterMapTest, LimitShortLinesIgnored) {
  const RegisterMap map = ParseRegisterMap(
      "TITLEBAR,T\r\nTITLE,H\r\nREG,1,ONE\r\nBITS,a,b,c,d,e,f,g,h\r\nREG,3,THREE\r\n"
      "TITLEBAR\r\nTITLE\r\nTABNAME\r\nREG,2\r\nBITS,A,B,C,D,E,F,G,H\r\nBITS,x,x,x,x,x,x,x\r\n");
  EXPECT_EQ(map.WindowTitle, "T");
  EXPECT_EQ(map.HeadingText, "H");
  ExpectRows(map, 0, {});
  ExpectNames(map, {{1, "ONE"}, {3, "THREE"}});
  // The short REG,2 left register 3 current.
  ExpectBits(map, {{1, kAtoH}, {3, {"A", "B", "C", "D", "E", "F", "G", "H"}}});
}

// Limits: a BITS line after an ignored REG is ignored, whether the address was
// merely outside 0..255 or did not fit 16 bits at all. Truncating addresses
// would land on the registers listed in the comments.
TEST(RegisterMapTest, LimitBitsAfterIgnoredRegister) {
  const char* const kFields[] = {
      "300",      // 44 in 8 bits
      "-1",       // 255 in 8 bits
      "&H100",    // 0 in 8 bits
      "&HFFFF",   // -1 in 16 bits
      "65552",    // 16 in 16 bits
      "&H10010",  // 16 in 16 bits
      "32768",   "-32769", "32767.5", "1e999999", "-1e999999",
  };
  std::vector<std::string> fields(std::begin(kFields), std::end(kFields));
  fields.push_back("&H" + std::string(5000, 'F'));
  fields.push_back("1" + std::string(5000, '0'));
  for (const std::string& field : fields) {
    SCOPED_TRACE(field.substr(0, 40));
    const RegisterMap map = ParseRegisterMap("TABNAME,P\r\nREG,1,ONE\r\nREG," + field +
                                             ",BIG\r\nBITS,a,b,c,d,e,f,g,h\r\nREG,2,TWO");
    ExpectRows(map, 1, {{0, 0, 1}, {0, 1, 2}});
    ExpectNames(map, {{1, "ONE"}, {2, "TWO"}});
    ExpectBits(map, {});
  }
}

// Limit: there is no line counter; a line after the 65,536th still counts.
TEST(RegisterMapTest, LimitManyLines) {
  std::string text = "TABNAME,Main\r\n";
  for (int line = 0; line < 70000; ++line) {
    text += line == 33000 ? "REG,&H21,MIDDLE\r\n" : "; note\r\n";
  }
  text += "REG,&H42,LATE\r\nTITLEBAR,Last\r\n";
  const RegisterMap map = ParseRegisterMap(text);
  ExpectRows(map, 1, {{0, 0, 0x21}, {0, 1, 0x42}});
  EXPECT_EQ(map.WindowTitle, "Last");
}

// Limit: a map with no page parses to no tabs and empty rows.
TEST(RegisterMapTest, LimitNoPages) {
  const RegisterMap map = ParseRegisterMap(ReadDataFile("map_no_pages.csv"));
  ExpectRows(map, 0, {});
  EXPECT_EQ(map.WindowTitle, "No Pages");
  ExpectNames(map, {{7, "EARLY"}});
  ExpectBits(map, {{7, kAtoH}});
}

}  // namespace
}  // namespace regdiag
