// The register map: tabdefs.csv found and read on real files of every kind,
// its bytes read into a map, and the number reading of its REG lines.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "core/map/address_number.h"
#include "core/map/field_text.h"
#include "core/map/map_file.h"
#include "core/map/register_map.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;
using Outcome = FileRead::Outcome;

std::string ReadDataFile(const char* name) {
  std::ifstream in(fs::path(REGDIAG_TEST_DATA_DIR) / name, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The whole map in one line: "T=" title, "H=" heading, each page as
// name:registers on its rows ("_" for an empty row above a filled one; "!"
// marks a page past TabCount that shows something), then each named
// register as address=name, each register with bit names as
// address:bit7/.../bit0, and each with rules as address@ACCESS#reset and its
// fields NAME:msb-lsbACCESS,value=label. Addresses are decimal.
std::string Dump(const RegisterMap& map) {
  std::string out;
  const auto item = [&out](const std::string& text) { out += (out.empty() ? "" : "|") + text; };
  if (!map.WindowTitle.empty()) item("T=" + map.WindowTitle);
  if (!map.HeadingText.empty()) item("H=" + map.HeadingText);
  for (int page = 0; page < kMaxPages; ++page) {
    std::string rows;
    for (int row = 0; row < kRowsPerPage; ++row) {
      const int address = map.AddressAt(page, row);
      rows += (row != 0 ? "," : "") + (address == kNoRegister ? std::string("_") : std::to_string(address));
    }
    while (rows.ends_with("_")) rows.resize(rows.size() > 1 ? rows.size() - 2 : 0);
    const bool past = page >= map.TabCount;
    if (!past || !rows.empty() || !map.TabNames[page].empty())
      item((past ? "!" : "") + map.TabNames[page] + ":" + rows);
  }
  for (int address = 0; address < kRegisterCount; ++address) {
    if (!map.RegisterNames[address].empty()) item(std::to_string(address) + "=" + map.RegisterNames[address]);
    std::string bits;
    for (int bit = kBitsPerRegister - 1; bit >= 0; --bit)
      bits += map.BitNames[address][bit] + (bit ? "/" : "");
    if (bits != "///////") item(std::to_string(address) + ":" + bits);
    const RegisterRules& rules = map.RulesOf(address);
    if (rules.Plain() && !rules.reset) continue;
    std::string text = std::to_string(address) + "@" + std::string(AccessName(rules.access));
    if (rules.reset) text += "#" + std::to_string(*rules.reset);
    for (const RegisterField& field : rules.fields) {
      text += " " + field.name + ":" + std::to_string(field.msb) + "-" + std::to_string(field.lsb);
      text += AccessName(field.access);
      for (const auto& [value, label] : field.values) text += "," + std::to_string(value) + "=" + label;
    }
    item(text);
  }
  return out;
}

// The map, then each skipped line as "LINE: reason".
std::string DumpWithNotes(const RegisterMap& map) {
  std::string out = Dump(map);
  for (const MapNote& note : map.SkippedLines) out += "|" + MapNoteText(note);
  return out;
}

const std::string kP = "TABNAME,P\r\n";
const std::string kBits = "\r\nBITS,a,b,c,d,e,f,g,h";
const std::string kAtoH = "a/b/c/d/e/f/g/h";
const std::string kSeven = kP + "REG,1,A\r\nREG,2,B\r\nREG,3,C\r\nREG,4,D\r\nREG,5,E\r\nREG,6,F";

TEST(RegisterMapTest, Texts) {
  const std::pair<std::string, std::string> kCases[] = {
      // CR LF, LF and a lone CR end a line alike.
      {"TABNAME,Main\r\nREG,1,A\r\n", "Main:1|1=A"},
      {"\r\n\n\rTABNAME,Main\r\n\r\nREG,1,A", "Main:1|1=A"},
      {"TABNAME,Main\rREG,1,A\nREG,2,B\r\r\nTITLE,H", "H=H|Main:1,2|1=A|2=B"},
      {"", ""},
      {"\r", ""},
      // Rows: outside 0..255 takes no row; the last row shows the page's last
      // register; pages start at row 0.
      {kP + "REG,-0.4,Z\r\nREG,300,X\r\nREG,-1,X\r\nREG,&HFFFF,X\r\nREG,2,Y", "P:0,2|0=Z|2=Y"},
      {kP + "REG,255,A\r\nREG,256,B\r\nREG,&HFF,C", "P:255,255|255=C"},
      {kSeven + kBits + "\r\nREG,7,G", "P:1,2,3,4,5,7|1=A|2=B|3=C|4=D|5=E|6=F|6:" + kAtoH + "|7=G"},
      {kP + "REG,1,A\r\n" + kP + "REG,3,C", "P:1|P:3|1=A|3=C"},
      {"TABNAME,A\r\nTABNAME,B\r\nREG,1,X", "A:|B:1|1=X"},
      {"TABNAME ,Main\r\n" + kP + "REG ,1,A", "P:"},
      // Names: the later one wins; bytes as they stand.
      {kP + "REG,1,A\r\nREG,1,B", "P:1,1|1=B"},
      {"REG,1,NAME,EXTRA\r\nREG,2, spaced \r\nREG,3,\xB5\x41\tB", "1=NAME|2= spaced |3=\xB5\x41\tB"},
      // Bit names go to the latest REG line, register 0 before any.
      {kBits, "0:" + kAtoH},
      {"TABNAME,P\r\nREG,3,X\r\nTABNAME,Q\r\nTITLE,T" + kBits, "H=T|P:3|Q:|3=X|3:" + kAtoH},
      {"REG,1,X" + kBits + "\r\nBITS,,,,,,,,q", "1=X|1:///////q"},
      {kP + "REG,1,ONE\r\nREG,&H10010,BIG" + kBits + "\r\nREG,300,X" + kBits + "\r\nREG,2,TWO",
       "P:1,2|1=ONE|2=TWO"},
      {"REG,7,EARLY" + kBits + "\r\nTABNAME,Main\r\nREG,8,MAIN", "Main:8|7=EARLY|7:" + kAtoH + "|8=MAIN"},
      // A line with too few fields is ignored whole.
      {"TITLEBAR,T\r\nTITLE,H\r\nREG,1,ONE" + kBits +
           "\r\nREG,3,THREE\r\nTITLEBAR\r\nTITLE\r\nTABNAME\r\n"
           "REG,2\r\nBITS,A,B,C,D,E,F,G,H\r\nBITS,x,x,x,x,x,x,x",
       "T=T|H=H|1=ONE|1:" + kAtoH + "|3=THREE|3:A/B/C/D/E/F/G/H"},
      // Titles: an empty one leaves the last; only the exact keywords count.
      {"TITLEBAR,A\r\nTITLEBAR,B\r\nTITLEBAR,", "T=B"},
      {"TITLE,H\r\nTITLE,\r\nTITLE", "H=H"},
      {"title,H\r\ntitlebar,W", "T=W|H=H"},
      {"TITLES,X\r\nTITLEBARS,Y", ""},
  };
  for (const auto& [text, dump] : kCases) EXPECT_EQ(Dump(ParseRegisterMap(text)), dump) << text;
}

// ACCESS, RESET and FIELD belong to the address of the last REG line; the
// first given wins; a line that breaks a rule is skipped with its reason,
// as are the lines the map could never use.
TEST(RegisterMapTest, RulesAndSkippedLines) {
  const std::string kReg = "REG,1,R\r\n";
  const std::pair<std::string, std::string> kCases[] = {
      {kReg + "access,ro\r\nReset,&H2\r\nFIELD,A,7,4,W1C,0=OFF,15=ON,,\r\nfield,b,0,0,,1=X=Y",
       "1=R|1:A3/A2/A1/A0////b|1@RO#2 A:7-4W1C,0=OFF,15=ON b:0-0,1=X=Y"},
      // A BITS line names the bits, wherever it stands; fields elsewhere count too.
      {kReg + "FIELD,A,7,6\r\nBITS,a,b,c,d,e,f,g,h\r\n" + kReg + "FIELD,B,0,0",
       "1=R|1:" + kAtoH + "|1@RW A:7-6 B:0-0"},
      {"ACCESS,WO\r\nRESET,0\r\nREG,2,S\r\nACCESS,RC\r\nREG,1,R\r\nRESET,255",
       "0@WO#0|1=R|1@RW#255|2=S|2@RC"},
      {kReg + "ACCESS,RO\r\n\r\nACCESS,WO\r\nRESET,1\r\nRESET,2\r\nACCESS,XX\r\nACCESS\r\nRESET,256",
       "1=R|1@RO#1|4: register 0x01 has its access from line 2|6: register 0x01 has its reset value from "
       "line "
       "5|7: unknown access 'XX' (RW, RO, WO or RC)|8: too few fields for ACCESS: 2 needed|9: reset value "
       "out "
       "of range (0 to 255): 256"},
      {kReg + "FIELD,A,3,2,RW,0=P,3=Q\r\nFIELD,a,1,1\r\nFIELD,B,2,1\r\nFIELD,C,1,1,RX\r\n"
              "FIELD,C,1,0,0=P,4=Q\r\nFIELD,C,1,0,1=P,1=Q\r\nFIELD,C,1,0,RO,P\r\nFIELD,C,0,1\r\n"
              "FIELD,C,8,8\r\nFIELD,,1,1\r\nFIELD,C.D,1,1\r\nFIELD,C,1",
       "1=R|1:////A1/A0//|1@RW A:3-2RW,0=P,3=Q|3: field a given twice|4: field B overlaps A|5: unknown "
       "field access 'RX' (RW, RO, WO or W1C)|6: value '4' does not fit C (0 to 3)|7: value 1 given twice|8: "
       "'P' is not VALUE=LABEL|9: bits 0..1 of C are not 7 >= MSB >= LSB >= 0|10: bits 8..8 of C are not 7 "
       ">= "
       "MSB >= LSB >= 0|11: field without a name|12: field name with a '.': C.D|13: too few fields for "
       "FIELD: "
       "4 needed"},
      // Lines are counted as a person counts them, whatever ends them.
      {"TITLE\rTITLE\r\nTITLE\n\r\r\n\nTITLE",
       "|1: too few fields for TITLE: 2 needed|2: too few fields for TITLE: 2 needed|3: too few fields for "
       "TITLE: 2 needed|7: too few fields for TITLE: 2 needed"},
      // Lines the map cannot use: the same as ever, now with a reason.
      {"TITLE\r\nTabName\r\nREG,1\r\nBITS,a\r\nREG,300,X\r\nBITS,a,b,c,d,e,f,g,h\r\nACCESS,RO\r\n"
       "TITLEBAR,\r\nREG,5,",
       "|1: too few fields for TITLE: 2 needed|2: too few fields for TABNAME: 2 needed|3: too few fields for "
       "REG: 3 needed|4: too few fields for BITS: 9 needed|5: register address out of range (0 to 255): "
       "300|6: no register for this line: the REG line before it was skipped|7: no register for this line: "
       "the REG line before it was skipped"},
  };
  for (const auto& [text, dump] : kCases) EXPECT_EQ(DumpWithNotes(ParseRegisterMap(text)), dump) << text;
  std::string pages;
  for (int page = 0; page <= kMaxPages; ++page) pages += kP;
  EXPECT_EQ(MapNoteText(ParseRegisterMap(pages).SkippedLines.at(0)), "33: more than 32 pages");
}

// One reader, file after file: each map equals a fresh parse of its file,
// whatever the file before it filled (pages, names, bits, rules, titles,
// skipped lines) and however little the next one holds.
TEST(RegisterMapTest, AReaderLeavesNothingOfTheFileBefore) {
  std::string full = "TITLEBAR,W\r\nTITLE,H\r\n";
  for (int page = 0; page <= kMaxPages; ++page) {
    full += "TABNAME,P" + std::to_string(page) + "\r\n";
    for (int row = 0; row < kRowsPerPage + 1; ++row) {
      const int address = (page * 7 + row) % kRegisterCount;
      full += "REG," + std::to_string(address) + ",R" + std::to_string(address) + kBits +
              "\r\nACCESS,RO\r\nRESET,3\r\nFIELD,F,7,4,W1C,1=ON\r\nFIELD,F,0,0\r\n";
    }
  }
  const std::string kFiles[] = {
      full, "", full, "TABNAME,Q\r\nREG,9,N", full, "REG,300,X\r\nBITS,a", full, kSeven + kBits,
      "FIELD,G,1,1\r\n", full, "\r\n", "REG,1,A\r\nACCESS,WO",
  };
  RegisterMapReader reader;
  for (const std::string& file : kFiles) {
    const RegisterMap& read = reader.Read(file);
    const RegisterMap fresh = ParseRegisterMap(file);
    EXPECT_EQ(DumpWithNotes(read), DumpWithNotes(fresh)) << file.substr(0, 40);
    EXPECT_TRUE(read == fresh) << file.substr(0, 40);
  }
}

TEST(RegisterMapTest, FilesFromDisk) {
  std::string tooMany;
  for (int page = 0; page < kMaxPages; ++page)
    tooMany += "P" + std::to_string(page + 1) + ":" + std::to_string(page) + "|";
  for (int reg = 0; reg < 34; ++reg) tooMany += std::to_string(reg) + "=R" + std::to_string(reg) + "|";
  const std::pair<const char*, std::string> kCases[] = {
      {"map_worked_example.csv",
       "T=Board Register Tool|H=Power "
       "Controller|Control:0,1|Status:16|0=CONFIG|0:EN/MODE1/MODE0/-/-/-/SS1/SS0|"
       "1=LIMITS|16=STATUS"},
      {"map_edge_cases.csv",
       "T=First Title|H=Heading|Main:16,17,0,5|Main:16,16,18|0=ZERO|0:B7/B6/B5/B4/B3/B2/B1/B0|16=HALF|"
       "16:EN/MODE/1/M0/-/-/-/S1|17=SEVENTEEN|18=ODD_HALF"},
      {"map_lf_only.csv", "T=Lost|Main:1|1=ONE"},
      {"map_no_pages.csv", "T=No Pages|7=EARLY|7:" + kAtoH},
      // The 33rd and later TABNAME lines are ignored; their registers go on no page.
      {"map_too_many_pages.csv", tooMany + "33:b7/b6/b5/b4/b3/b2/b1/b0"},
  };
  for (const auto& [file, dump] : kCases) EXPECT_EQ(Dump(ParseRegisterMap(ReadDataFile(file))), dump) << file;
  // The keywords of a chip's own definitions; bit names from the fields where no BITS line gives them.
  EXPECT_EQ(DumpWithNotes(ParseRegisterMap(ReadDataFile("map_fields.csv"))),
            "System:1,2,4|1=SYS_CTRL|1:RESET/SLEEP/-/-/CLKSEL1/CLKSEL0/ADC_EN/PWR_EN|1@RW#2 "
            "CLKSEL:3-2RW,0=INTERNAL,1=EXTERNAL,2=PLL|2=INT_STATUS|2@RC|4=INT_CLEAR|4:///C_ALERT////|4@WO "
            "C_ALERT:4-4W1C|12: field C_ALERT given twice");
  EXPECT_NE(ReadDataFile("map_worked_example.csv").find("\r\n"), std::string::npos)
      << "data file lost its CR LF";
}

// A field's value as a row's tooltip and regdiag-cli show it and read it back,
// and the bits of a register by what may be done to them.
TEST(RegisterFieldsTest, TextsValuesAndMasks) {
  const RegisterMap map = ParseRegisterMap(
      "REG,1,SYS\r\nFIELD,CLKSEL,3,2,RW,0=INTERNAL,1=EXTERNAL,2=PLL\r\nFIELD,AVG,5,4,,0=1,1=2,2=4,3=8\r\n"
      "FIELD,GO,7,7,W1C,1=\r\nREG,2,CLR\r\nACCESS,WO\r\nFIELD,C,4,4,W1C\r\nFIELD,D,1,0\r\nREG,3,ST\r\nACCESS,"
      "RC");
  const RegisterRules& sys = map.RulesOf(1);
  EXPECT_EQ(FieldsDescription(sys, 0xBC), "CLKSEL = 3\nAVG = 3 (8)\nGO = 1");
  EXPECT_EQ(FieldsDescription(sys, 0x08), "CLKSEL = 2 (PLL)\nAVG = 0 (1)\nGO = 0");
  EXPECT_EQ(FieldValueText(sys.fields[0], 2) + FieldValueText(sys.fields[0], 3), "2(PLL)3");
  EXPECT_EQ(FieldsDescription(map.RulesOf(3), 0xFF), "");
  const RegisterField& clksel = *sys.FindField("clkSel");
  const RegisterField& avg = *sys.FindField("AVG");
  const std::tuple<const RegisterField*, std::string, std::optional<std::uint8_t>, std::string> kValues[] = {
      {&clksel, "pll", 2, ""},
      {&clksel, "1", 1, ""},
      {&clksel, "0x3", 3, ""},
      {&avg, "4", 2, ""},
      {&avg, "9", {}, "value 9 does not fit AVG (0 to 3)"},
      {&clksel, "FAST", {}, "'FAST' is not a value of CLKSEL: INTERNAL, EXTERNAL, PLL or a number (0 to 3)"},
      {sys.FindField("go"), "-1", {}, "value -1 does not fit GO (0 to 1)"},
      {sys.FindField("GO"), "on", {}, "'on' is not a value of GO: a number (0 to 1)"}};
  for (const auto& [field, text, value, error] : kValues) {
    const FieldValueArgument read = ParseFieldValue(*field, text);
    EXPECT_EQ(read.value, value) << text;
    EXPECT_EQ(read.error, error) << text;
  }
  for (const auto& [text, parts] : std::initializer_list<std::pair<std::string_view, std::string>>{
           {"SYS.CLKSEL", "SYS|CLKSEL"}, {"A.B.C", "A.B|C"}, {".C", "-"}, {"A.", "-"}, {"A", "-"}}) {
    const auto split = SplitFieldPath(text);
    EXPECT_EQ(split ? std::string(split->registerName) + "|" + std::string(split->fieldName) : "-", parts);
  }
  const auto masks = [](const RegisterRules& rules) {
    const AccessMasks m = rules.Masks();
    return std::vector<int>{m.rw, m.ro, m.wo, m.w1c};
  };
  EXPECT_EQ(masks(sys), (std::vector<int>{0x3C, 0, 0, 0x80}));
  EXPECT_EQ(masks(map.RulesOf(2)),
            (std::vector<int>{0, 0, 0x03, 0x10}));                      // a field takes the register's access
  EXPECT_EQ(masks(map.RulesOf(3)), (std::vector<int>{0, 0xFF, 0, 0}));  // an RC register's bits read only
  EXPECT_EQ(masks(map.RulesOf(4)), (std::vector<int>{0xFF, 0, 0, 0}));
  EXPECT_EQ(sys.FindField("CLKSEL.X"), nullptr);
}

// The sample map as a real chip defines it: every line used, every named
// register with a reset value, every named bit in a field (bits in none are
// reserved), and the access of the registers that need care.
TEST(RegisterMapTest, TheSampleMapDefinesThePmx7) {
  const RegisterMap map = ParseRegisterMap(ReadFileWhole(REGDIAG_SAMPLE_MAP).bytes);
  EXPECT_TRUE(map.SkippedLines.empty()) << MapNoteText(map.SkippedLines.front());
  std::string access;
  for (int address = 0; address < kRegisterCount; ++address) {
    const RegisterRules& rules = map.RulesOf(address);
    if (map.RegisterNames[address].empty()) continue;
    EXPECT_TRUE(rules.reset.has_value()) << address;
    const AccessMasks masks = rules.Masks();
    const int inFields = masks.rw | masks.ro | masks.wo | masks.w1c;
    for (int bit = 0; bit < kBitsPerRegister; ++bit)
      EXPECT_EQ((inFields >> bit) & 1, map.BitNames[address][bit] == "-" ? 0 : 1)
          << address << " bit " << bit;
    const std::string& name = map.RegisterNames[address];
    if (rules.access != RegisterAccess::RW)
      access += name + "=" + std::string(AccessName(rules.access)) + " ";
    if (masks.w1c != 0) access += name + ":W1C ";
  }
  EXPECT_EQ(
      access,
      "CHIP_ID=RO INT_STATUS=RC INT_CLEAR=WO INT_CLEAR:W1C TEMP_HI=RO TEMP_LO=RO GPIO_IN=RO WDT_KICK=WO "
      "WDT_KICK:W1C ");
}

TEST(RegisterMapTest, NothingOutsideTheTables) {
  const RegisterMap unparsed;
  EXPECT_EQ(unparsed.AddressAt(31, 5), 0);  // never parsed: 0 everywhere
  for (const auto& [page, row] : {std::pair{-1, 0}, {32, 0}, {0, -1}, {0, 6}, {1000, 1000}}) {
    EXPECT_EQ(unparsed.AddressAt(page, row), kNoRegister) << page << " " << row;
  }
}

// &H and &O give an unsigned magnitude up to the first digit out of base;
// decimal takes a sign, a fraction and an exponent.
TEST(AddressNumberTest, Reads) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::string k50Nines(50, '9');
  // clang-format off
  const std::pair<std::string, double> kCases[] = {
      {"&HAF", 175}, {"&haf", 175}, {"&H", 0}, {"&HFFFF", 65535}, {"&HFFFFFFFF", 4294967295.0}, {"&H1G", 1},
      {"&H-1", 0}, {"&H+1", 0}, {"& H1F", 31}, {"&O17", 15}, {"&o17", 15}, {"&O8", 0}, {"&O78", 7}, {"&", 0},
      {"&X10", 0}, {"&H1.5", 1}, {"&H9E0", 0x9E0}, {"0016", 16}, {"007.50", 7.5}, {"-1", -1}, {"+5", 5},
      {".5", 0.5}, {"-.5", -0.5}, {"1.", 1}, {"1e2", 100}, {"1E2", 100}, {"1e+2", 100}, {"25e-1", 2.5},
      {"1.6e1", 16}, {"0x1F", 0}, {"", 0}, {"abc", 0}, {"12abc", 12}, {".", 0}, {"-", 0}, {"+", 0}, {"--1", 0},
      {"+-1", 0}, {"e5", 0}, {".e5", 0}, {"1e", 1}, {"1e+", 1}, {"1E-", 1}, {"1ex", 1}, {"1.5.5", 1.5},
      {"1e2e3", 100}, {"1e2.5", 100}, {"1,5", 1}, {"inf", 0}, {"nan", 0}, {"1d2", 1},
      // Blanks, tabs and line feeds are dropped; any other control byte ends the number.
      {" 1 6 ", 16}, {"\t1\n6 ", 16}, {"- 1", -1}, {"1 . 5", 1.5}, {"1 e 2", 100}, {"  ", 0},
      {"\n&\tH 1 F", 31}, {"1\r6", 1}, {"\r16", 0}, {"\v16", 0}, {"1\f6", 1},
      // Magnitudes beyond a double are infinite or zero, however many digits.
      {"1e308", 1e308}, {"1.7976931348623157e308", std::numeric_limits<double>::max()}, {"1.8e308", kInf},
      {"1e999999", kInf}, {"-1e999999", -kInf}, {"1e-999999", 0}, {"0e999999", 0}, {"1e-400", 0},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"1e" + k50Nines, kInf}, {"1e-" + k50Nines, 0}, {"1" + std::string(300, '0'), 1e300},
      {"1" + std::string(400, '0'), kInf}, {std::string(100000, '9'), kInf}, {std::string(1000, '0') + "5", 5},
      {"0." + std::string(399, '0') + "1e400", 1}, {"1" + std::string(100000, '0') + "e-100000", 1},
      {"&H" + std::string(300, 'F'), kInf}, {"&O" + std::string(400, '7'), kInf}};
  // clang-format on
  for (const auto& [field, value] : kCases) EXPECT_EQ(ReadAddressNumber(field), value) << field.substr(0, 40);
}

TEST(AddressNumberTest, RoundsHalfToEvenWithinInt16) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::optional<int> kOut;
  // clang-format off
  const std::pair<double, std::optional<int>> kCases[] = {
      {0, 0}, {-0.0, 0}, {16.5, 16}, {17.5, 18}, {0.5, 0}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2},
      {2.5000001, 3}, {0.49999999999999994, 0}, {-0.49999999999999994, 0}, {32767.4, 32767}, {32766.5, 32766},
      {32767.5, kOut}, {32768, kOut}, {-32768, -32768}, {-32768.5, -32768}, {-32768.6, kOut}, {-32769, kOut},
      {4503599627370497.0, kOut}, {1e300, kOut}, {kInf, kOut}, {-kInf, kOut},
      {std::numeric_limits<double>::denorm_min(), 0}, {std::numeric_limits<double>::quiet_NaN(), kOut}};
  // clang-format on
  for (const auto& [value, rounded] : kCases) EXPECT_EQ(RoundAddressToInt16(value), rounded) << value;
}

TEST(MapFileTest, FindsAndReadsOrSaysWhyNot) {
  const fs::path top = fs::temp_directory_path() / ("regdiag_map_file_" + std::to_string(::getpid()));
  fs::remove_all(top);
  std::string bytes;  // any bytes, more of them than one read takes
  while (bytes.size() < 300 * 1024) bytes += std::string("lone\nLF and lone\rCR\0NUL\xFF\x80\r\n", 27);
  const auto write = [](std::string bytes) {
    return [bytes](const fs::path& map) { std::ofstream(map, std::ios::binary) << bytes; };
  };
  const struct {
    std::function<void(const fs::path& map)> make;
    Outcome outcome;
    std::string bytes, reason;
  } kCases[] = {
      {[](auto&) {}, Outcome::NotFound, "", ""},
      {[](auto& map) { fs::create_directory(map); }, Outcome::Unreadable, "", "is a directory"},
      {[](auto& map) { fs::create_symlink("/dev/null", map); }, Outcome::Unreadable, "",
       "not a regular file"},
      // A FIFO is read as a stream; a file larger than the limit is not read.
      {[](auto& map) {
         ASSERT_EQ(::mkfifo(map.c_str(), 0600), 0);
         ASSERT_EQ(std::system(("printf 'REG,1,A' >" + map.string() + " &").c_str()), 0);
       },
       Outcome::Loaded, "REG,1,A", ""},
      {[](auto& map) { std::ofstream{map}, fs::resize_file(map, kMostFileBytes + 1); }, Outcome::Unreadable,
       "", "larger than 16 MiB"},
      {write(bytes), Outcome::Loaded, bytes, ""},
      // A regular file whose first read fails for every user, root included.
      {[](auto& map) { fs::create_symlink("/proc/self/mem", map); }, Outcome::Unreadable, "",
       std::generic_category().message(EIO)},
      {[](auto& map) { fs::create_symlink(map, map); }, Outcome::Unreadable, "",
       std::generic_category().message(ELOOP)},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    const fs::path folder = top / std::to_string(i);
    fs::create_directories(folder);
    kCases[i].make(folder / kMapFileName);
    const FileRead read = ReadMapFile(folder);
    EXPECT_EQ(read.outcome, kCases[i].outcome);
    EXPECT_EQ(read.bytes, kCases[i].bytes);
    EXPECT_EQ(read.reason, kCases[i].reason);
  }
  // A file where the folder should be.
  EXPECT_EQ(ReadMapFile(top / "5" / kMapFileName).outcome, Outcome::NotFound);
  fs::remove_all(top);
  EXPECT_EQ(MapUnreadableMessage("Permission denied"),
            "Configuration file (tabdefs.csv) could not be read: Permission denied.");
  EXPECT_STREQ(kMapNotFoundMessage, "Configuration file (tabdefs.csv) not found.");
  EXPECT_EQ(MapNamesNoRegisterMessage("m.csv"), "Register map m.csv names no register.");
  EXPECT_FALSE(NamesAnyRegister(ParseRegisterMap("TABNAME,P\r\nREG,300,X")));
}

}  // namespace
}  // namespace regdiag
