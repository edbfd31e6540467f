// regdiag-cli import's converter on the bytes of a register description
// written for these tests (data/import_device.svd), and on small ones that
// each break one rule. Every map it writes is read back by the map reader,
// which must skip no line of it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/svd/svd_import.h"
#include "core/files/file_read.h"
#include "core/map/register_map.h"

namespace regdiag::cli {
namespace {

SvdImport Import(std::string_view xml, std::vector<std::string> peripherals = {}) {
  SvdImport result = ImportSvd(xml, peripherals);
  for (const MapNote& note : ParseRegisterMap(result.mapText).SkippedLines)
    ADD_FAILURE() << "line " << note.line << " skipped: " << note.reason << "\n" << result.mapText;
  return result;
}

// Lines of the map, each next to the construct of the SVD that gives it.
const char* const kMapLines[] = {
    "TITLEBAR,PMX7\nTITLE,Power monitor 7 channels\nTABNAME,CORE\n",  // device name, description
    "REG,&H00,CORE_CTRL\nBITS,-,-,SPEED1,SPEED0,RANGE1,RANGE0,MODE1,MODE0\nRESET,&H05\n",
    "FIELD,MODE,1,0,0=OFF,1=LOW,2=MID,3=HIGH\n",   // decimal, 0x, # and 0b values; bitOffset+bitWidth
    "FIELD,RANGE,3,2,0=OFF,1=LOW,2=MID,3=HIGH\n",  // enumeratedValues derivedFrom; bitRange
    "FIELD,SPEED,5,4,0=SLOW\n",                    // lsb/msb; x bits and isDefault left out
    "REG,&H01,CORE_STATUS\nBITS,-,-,-,-,FIFO2,FIFO1,FIFO0,READY\nACCESS,RC\nRESET,&H00\n",  // readAction
    "FIELD,ALERT,0,0,W1C\nFIELD,TOGGLE,1,1\nFIELD,FAULT,2,2,W1C\n",  // oneToClear; field derivedFrom
    "REG,&H03,CORE_KICK\nBITS,-,-,-,-,-,-,-,-\nACCESS,WO\n",         // write-only
    "REG,&H04,CORE_LOCK\nBITS,-,-,-,-,-,-,-,-\nACCESS,WO\n",         // writeOnce
    "REG,&H05,CORE_TRIM\nBITS,-,-,-,-,-,-,-,-\nRESET,&H00\nTABNAME,CORE 2\n",    // read-writeOnce; page 2
    "REG,&H06,CORE_STATUS2\nBITS,-,-,-,-,FIFO2,FIFO1,FIFO0,READY\nACCESS,RC\n",  // register derivedFrom
    // 16 bits, little-endian; a field cut at the byte boundary; reset masked to the high byte.
    "REG,&H08,CORE_PERIOD_L\nBITS,SPAN_L3,SPAN_L2,SPAN_L1,SPAN_L0,FINE3,FINE2,FINE1,FINE0\n"
    "FIELD,FINE,3,0\nFIELD,SPAN_L,7,4\n"
    "REG,&H09,CORE_PERIOD_H\nBITS,UNIT1,UNIT0,-,-,SPAN_H3,SPAN_H2,SPAN_H1,SPAN_H0\nRESET,&H12\n"
    "FIELD,SPAN_H,3,0\nFIELD,UNIT,7,6,2=US\n",
    "REG,&H10,CORE_LIMIT0\n", "REG,&H11,CORE_LIMIT1\n",          // dim with %s
    "REG,&H12,CORE_GAINA\n", "REG,&H14,CORE_GAINC\n",            // dim with dimIndex, [%s]
    "TABNAME,CORE2\nREG,&H20,CORE2_CTRL\n",                      // peripheral derivedFrom
    "TABNAME,ADC\nREG,&H40,CH0_CFG\n", "REG,&H46,CH1_DATA_L\n",  // a dim cluster, its offset
    "TABNAME,ADC 2\nREG,&H80,SHARED\nBITS,-,-,-,-,-,-,GO,ON\nRESET,&H00\nFIELD,ON,0,0\nFIELD,GO,1,1\n"
    "TABNAME,DMA\nREG,&H80,SHARED\n",  // one register on two pages, its fields united
};

TEST(SvdImportTest, TheTestDescriptionBecomesAMapTheReaderTakesWhole) {
  const FileRead file = ReadFileWhole(REGDIAG_TEST_DATA_DIR "/import_device.svd");
  ASSERT_EQ(file.outcome, FileRead::Outcome::Loaded);
  const SvdImport result = Import(file.bytes);
  EXPECT_EQ(result.error, "");
  for (const char* lines : kMapLines) EXPECT_NE(result.mapText.find(lines), std::string::npos) << lines;
  EXPECT_EQ(result.mapText.find("COUNTER"), std::string::npos);  // 32 bits
  EXPECT_EQ(result.mapText.find("SHADOW"), std::string::npos);   // an address taken
  const std::vector<std::string> warnings = {
      "CTRL.SPEED=ANY: #1x has don't-care bits, skipped",
      "CTRL.SPEED=OTHER: an isDefault value, skipped",
      "FLAGS.TOGGLE: modifiedWriteValues oneToToggle is taken as RW",
      "COUNTER: a 32-bit register, skipped (only 8- and 16-bit registers are imported)",
  };
  ASSERT_GE(result.warnings.size(), 12U);
  EXPECT_EQ(std::vector(result.warnings.begin(), result.warnings.begin() + 4), warnings);
  EXPECT_EQ(result.warnings[8], "FAR: address 0x110 is outside 0x00 to 0xFF, skipped");
  EXPECT_EQ(result.warnings[9], "CORE_SHADOW of CORE: address &H10 is CORE_LIMIT0's, skipped");
  EXPECT_EQ(result.warnings[11], "SHARED.CLASH of DMA: overlaps a field, dropped");
  // --peripheral keeps the named ones; a name no longer shared needs no prefix.
  const SvdImport adc = Import(file.bytes, {"CORE2"});
  EXPECT_NE(adc.mapText.find("TABNAME,CORE2\nREG,&H20,CTRL\n"), std::string::npos) << adc.mapText;
  EXPECT_EQ(adc.mapText.find("TABNAME,ADC"), std::string::npos);
  EXPECT_EQ(Import(file.bytes, {"NOPE"}).error, "no peripheral NOPE");
}

std::string Device(std::string_view inside, std::string_view endian = "little") {
  return "<device><name>D</name><cpu><endian>" + std::string(endian) +
         "</endian></cpu><size>8</size>\n<peripherals>\n" + std::string(inside) + "</peripherals></device>";
}

std::string Peripheral(std::string_view name, std::string_view registers) {
  return "<peripheral><name>" + std::string(name) + "</name><baseAddress>0</baseAddress><registers>\n" +
         std::string(registers) + "</registers></peripheral>\n";
}

struct Case {
  std::string xml;
  std::string mapOrError;  // a piece of the map; the error when it starts with '!'
};

TEST(SvdImportTest, EachRuleOnASmallDescription) {
  const std::string reg16 =
      "<register><name>W</name><addressOffset>2</addressOffset><size>16</size>"
      "<resetValue>0xA55A</resetValue></register>";
  std::string many;
  for (int p = 0; p < 33; ++p)
    many += "<peripheral><name>P" + std::to_string(p) + "</name><baseAddress>" + std::to_string(p) +
            "</baseAddress><registers><register><name>R</name></register></registers></peripheral>";
  const Case cases[] = {
      {Device(Peripheral("A", reg16), "big"),
       "REG,&H02,W_H\nBITS,-,-,-,-,-,-,-,-\nRESET,&HA5\nREG,&H03,W_L\n"},
      {Device(Peripheral("A", reg16)), "REG,&H02,W_L\nBITS,-,-,-,-,-,-,-,-\nRESET,&H5A\n"},
      {"<device>\n<name>D</name>\n<peripherals>\n</device>\n", "!line 4: Start-end tags mismatch"},
      {Device(Peripheral("A", "<cluster><name>C</name><dim>2</dim></cluster>")),
       "!<cluster> on line 4 is an array without a usable dim and dimIncrement"},
      {Device("<peripheral><name>A</name><dim>2</dim></peripheral>"),
       "!<peripheral> on line 3 is an array of peripherals"},
      {Device(Peripheral("A", "<register><name>R</name><addressOffset>0x100</addressOffset></register>")),
       "!no register to import: none is 8 or 16 bits at an address from 0 to 255"},
      {Device(many), "!33 pages, more than 32: choose peripherals with --peripheral NAME"},
      {"<other/>", "!no <device> element: not a register description"},
      {Device(Peripheral(
           "A", "<cluster><name>C</name><cluster derivedFrom=\"C\"><name>D</name></cluster></cluster>")),
       "!<cluster> on line 4 lies deeper than 32 clusters"},
  };
  for (const Case& c : cases) {
    const SvdImport result = Import(c.xml);
    if (c.mapOrError.starts_with('!')) {
      EXPECT_EQ(result.error, c.mapOrError.substr(1)) << c.xml;
      EXPECT_EQ(result.mapText, "");
    } else {
      EXPECT_NE(result.mapText.find(c.mapOrError), std::string::npos) << result.mapText;
    }
  }
}

}  // namespace
}  // namespace regdiag::cli
