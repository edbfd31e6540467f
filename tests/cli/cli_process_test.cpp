// regdiag-cli as a script meets it: the built program run as a process on
// the simulated bridge, one table row per behaviour. Each row is a few runs
// in one folder holding the files below; a run gives its arguments, its exit
// status, and what stdout and stderr must hold. Stderr must be empty when a
// run expects nothing there (quiet on success), and a run refused for bad
// input must not even have started the driver (nothing was sent).
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;
using Process = test::CliProcess;

struct Step {
  std::vector<std::string> args;
  int status = 0;
  std::optional<std::string> out;     // stdout exactly, when given
  std::vector<std::string> outHas{};  // pieces of stdout
  std::vector<std::string> errHas{};  // pieces of stderr; none: stderr empty
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The folder every row starts from.
const std::vector<std::pair<const char*, std::string>> kFiles = {
    {"good.csv", "address,name,value\n0x01,SYS_CTRL,0x12\n0x02,INT_STATUS,0x03\n"},
    {"changed.csv",
     "# board B\r\naddress,name,value\r\n0x01,SYS_CTRL,0x13\r\n0x02,INT_STATUS,0x03\r\n"
     "0x03,INT_MASK,0x1C\r\n"},
    {"bad.csv", "address,name,value\n0x01,SYS_CTRL,0x12\n1,SYS_CTRL,0x13\n"},
    {"session.log",
     "USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n"
     "Writing register 0x01 = 0x05 successful\r\nReading register 0x01 = 0x05 successful\r\n"
     "Writing register 0x02 failed: No ACK from QRV4417. Check power and connections.\r\n"
     "Writing register 0x12 = 0xAB successful\r\n"},
};

const std::string kNoBridge = "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n";
const std::string kReadFails = "regdiag-cli: Reading register 0x01 failed: ";

const Case kCases[] = {
    {"ReadPrintsOneLinePerRegister",
     {{{"--sim", "read", "0x00", "sys_ctrl", "18", "&H2F"},
       0,
       "0x00 CHIP_ID 0xA7\n0x01 SYS_CTRL 0x12\n0x12 BUCK2_CTRL 0x0A\n0x2F - 0x3E\n"}}},
    {"WriteVerifyReadsBack",
     {{{"--sim", "--log", "write", "SYS_CTRL", "0x5A", "--verify"},
       0,
       "",
       {},
       {"\nWriting register 0x01 = 0x5A successful\nReading register 0x01 = 0x5A successful\n"}}}},
    {"DumpInEachFormat",
     {{{"--sim", "dump"},
       0,
       {},
       {"0x00 CHIP_ID 0xA7 REV3=1 REV2=0 REV1=1 REV0=0 ID3=0 ID2=1 ID1=1 ID0=1\n"
        "0x01 SYS_CTRL 0x12 RESET=0 SLEEP=0 CLKSEL1=0 CLKSEL0=0 ADC_EN=1 PWR_EN=0\n",
        "\n0x42 WDT_KICK 0xF5 KICK=1\n"}},
      {{"--sim", "dump", "--format=csv"},
       0,
       {},
       {"address,name,value,bits\n0x00,CHIP_ID,0xA7,REV3=1 REV2=0 "}},
      {{"--sim", "dump", "--format", "json"},
       0,
       {},
       {"[\n  {\"address\": 0, \"name\": \"CHIP_ID\", \"value\": 167, \"bits\": [{\"bit\": 7, \"name\": "
        "\"REV3\", \"value\": 1}, ",
        "{\"bit\": 0, \"name\": \"KICK\", \"value\": 1}]}\n]\n"}}}},
    {"SaveThenDiffLiveAndLoadWithVerify",
     {{{"--sim", "save", "saved.csv"}, 0, ""},
      {{"--sim", "diff", "saved.csv", "live"}, 0, ""},
      {{"--sim", "diff", "good.csv", "saved.csv"}, 1, {}, {"0x00 CHIP_ID -- 0xA7\n"}},
      {{"--sim", "load", "changed.csv", "--verify"}, 0, ""}}},
    {"DiffOfTwoFilesNeedsNoBridge",
     {{{"diff", "good.csv", "changed.csv"},
       1,
       "0x01 SYS_CTRL 0x12 0x13 PWR_EN:0->1\n0x03 INT_MASK -- 0x1C\n"},
      {{"diff", "good.csv", "good.csv"}, 0, ""}}},
    {"ReplayRepeatsTheSuccessfulWritesOfALog",
     {{{"--sim", "--log", "replay", "session.log"},
       0,
       "",
       {},
       {"\n\nWriting register 0x01 = 0x05 successful\nWriting register 0x12 = 0xAB successful\n"}},
      {{"--sim", "--log=run.log", "write", "0x40", "7"}, 0, ""},
      {{"--sim", "--log", "replay", "run.log"},
       0,
       "",
       {},
       {"\n\nWriting register 0x40 = 0x07 successful\n"}}}},
    {"WatchPrintsTheFirstValue",
     {{{"--sim", "watch", "1", "--count", "1", "--interval", "5"}, 0, "0x01 SYS_CTRL 0x12\n"}}},
    {"HelpGoesToStdout", {{{"--help"}, 0, {}, {"usage: regdiag-cli [--sim [--sim-fault KIND[@ADDR]]]"}}}},
    {"InjectedFaults",
     {{{"--sim", "--sim-fault", "nack", "read", "1"}, 1, "", {}, {kReadFails + "No ACK from QRV4417."}},
      {{"--sim", "--sim-fault", "i2c-error", "read", "1"}, 1, "", {}, {kReadFails + "General I2C error\n"}},
      {{"--sim", "--sim-fault", "transfer-error", "read", "1"},
       1,
       "",
       {},
       {kReadFails + "USB transfer error\n"}},
      {{"--sim", "--sim-fault", "timeout", "read", "1"}, 1, "", {}, {kReadFails + "USB transfer error\n"}},
      {{"--sim", "--sim-fault", "short", "read", "1"}, 1, "", {}, {kReadFails + "USB transfer error\n"}},
      {{"--sim", "--sim-fault", "short", "write", "1", "5"}, 0, ""},
      {{"--sim", "--sim-fault", "late", "read", "1"}, 1, "", {}, {kReadFails + "USB transfer error\n"}},
      {{"--sim", "--sim-fault", "unplugged", "read", "1"}, 1, "", {}, {kNoBridge}},
      {{"--sim", "--sim-fault=nack@0x02", "read", "1", "2", "3"},
       1,
       "0x01 SYS_CTRL 0x12\n0x03 INT_MASK 0x1C\n",
       {},
       {"Reading register 0x02 failed: No ACK"}},
      {{"--sim", "--sim-fault", "unplugged@SYS_CTRL", "read", "0", "1", "2"},
       1,
       "0x00 CHIP_ID 0xA7\n",
       {},
       {kReadFails + "USB transfer error\n" + kNoBridge}},
      {{"--sim", "--sim-fault", "nack@0x10", "dump"}, 1, {}, {"C_OVT=0\n0x11 BUCK1_VOUT"}, {"0x10 failed"}}}},
    {"SaveWritesNoFileWhenAReadFails",
     {{{"--sim", "--sim-fault", "i2c-error@0x42", "save", "x.csv"}, 1, "", {}, {"x.csv not written"}},
      {{"diff", "x.csv", "good.csv"}, 2, "", {}, {"x.csv: no such file"}}}},
    {"BadInputSendsNothing",
     {{{"--sim", "--log", "read", "1", "300"},
       2,
       "",
       {},
       {"register address out of range (0x00-0xFF): 300\n"}},
      {{"--sim", "--log", "read", "NOSUCH"}, 2, "", {}, {"unknown register name 'NOSUCH'\n"}},
      {{"--sim", "--log", "write", "1", "256"}, 2, "", {}, {"value out of range (0x00-0xFF): 256\n"}},
      {{"--sim", "--log", "write", "1"},
       2,
       "",
       {},
       {"usage: regdiag-cli [options] write REG VALUE [--verify]"}},
      {{"--sim", "--log", "load", "bad.csv"}, 2, "", {}, {"bad.csv: line 3: register 0x01 given twice"}},
      {{"--sim", "--log", "diff", "good.csv", "missing.csv"}, 2, "", {}, {"missing.csv: no such file\n"}},
      {{"--sim", "--log", "save", "no/such/folder/x.csv"},
       2,
       "",
       {},
       {"no/such/folder/x.csv: cannot be written"}},
      {{"--sim", "--log", "watch", "1", "--interval", "0"}, 2, "", {}, {"--interval must be a whole number"}},
      {{"--sim", "--log", "dump", "--format", "xml"}, 2, "", {}, {"--format must be text, csv or json"}},
      {{"--sim", "--log", "--sim-fault", "bogus", "read", "1"},
       2,
       "",
       {},
       {"unknown --sim-fault kind 'bogus'"}},
      {{"--sim", "--log", "--map", "missing.csv", "read", "1"}, 2, "", {}, {"missing.csv: no such file\n"}},
      {{"--sim-fault", "nack", "read", "1"}, 2, "", {}, {"--sim-fault needs --sim"}},
      {{"--sim", "--log", "frobnicate"}, 2, "", {}, {"unknown command 'frobnicate'"}}}},
};

class CliProcessTest : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() / ("regdiag_cli_" + std::to_string(::getpid()) + "_" + GetParam().name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (const auto& [name, bytes] : kFiles) std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

TEST_P(CliProcessTest, Runs) {
  for (const Step& step : GetParam().steps) {
    std::string command;
    for (const std::string& arg : step.args) command += " " + arg;
    SCOPED_TRACE("regdiag-cli" + command);
    const Process process(folder_, step.args);
    EXPECT_EQ(process.Wait(), step.status);
    const std::string out = process.Out();
    const std::string err = process.Err();
    if (step.out) {
      EXPECT_EQ(out, *step.out);
    }
    for (const std::string& piece : step.outHas) EXPECT_NE(out.find(piece), std::string::npos) << piece;
    if (step.errHas.empty()) {
      EXPECT_EQ(err, "");
    }
    for (const std::string& piece : step.errHas)
      EXPECT_NE(err.find(piece), std::string::npos) << piece << "\n" << err;
    if (step.status == 2) {
      EXPECT_EQ(err.find("Initializing driver"), std::string::npos) << err;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, CliProcessTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// A watch runs until Ctrl+C, which ends it well.
TEST(CliInterruptTest, CtrlCEndsAWatch) {
  const fs::path folder = fs::temp_directory_path() / ("regdiag_cli_watch_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const Process watch(folder, {"--sim", "watch", "SYS_CTRL"});
  while (watch.Out().empty()) ::usleep(1000);  // it has started and polls
  ::kill(watch.pid, SIGINT);
  EXPECT_EQ(watch.Wait(), 0);
  EXPECT_EQ(watch.Out(), "0x01 SYS_CTRL 0x12\n");
  EXPECT_EQ(watch.Err(), "");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace regdiag
