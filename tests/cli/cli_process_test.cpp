// regdiag-cli as a script meets it: the built program run, run after run, on
// the simulated bridge in a folder holding the files below. Each run gives its
// words, its exit status, and what stdout and stderr hold: exactly that text
// (empty: quiet), or each piece of a text that starts with '~' and separates
// them with '~'. A run refused for bad input has not even started the driver.
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;

const std::pair<const char*, const char*> kFiles[] = {
    {"good.csv", "address,name,value\n0x01,SYS_CTRL,0x12\n0x02,INT_STATUS,0x03\n"},
    {"changed.csv",
     "# board B\r\naddress,name,value\r\n0x01,SYS_CTRL,0x13\r\n0x02,INT_STATUS,0x03\r\n"
     "0x03,INT_MASK,0x1C\r\n"},
    {"bad.csv", "address,name,value\n0x01,SYS_CTRL,0x12\n1,SYS_CTRL,0x13\n"},
    {"session.log",
     "USB-to-I2C driver initialization successful.\nUSB-to-I2C interface detected.\n\n"
     "Writing register 0x01 = 0x05 successful\nReading register 0x01 = 0x05 successful\n"
     "Writing register 0x02 failed: No ACK from QRV4417. Check power and connections.\n"
     "Writing register 0x13 = 0xAB successful!\nWriting register 0x12 = 0xAB successful\n"},
};

using Step = std::tuple<std::string, int, std::string, std::string>;  // words, status, stdout, stderr

const std::string kFails = "~Reading register 0x01 failed: ";
const std::string kNoBridge = "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n";

const Step kSteps[] = {
    {"--sim read 0x00 sys_ctrl 18 &H2F", 0,
     "0x00 CHIP_ID 0xA7\n0x01 SYS_CTRL 0x12\n0x12 BUCK2_CTRL 0x0A\n0x2F - 0x3E\n", ""},
    {"--sim --log write SYS_CTRL 0x5A --verify", 0, "",
     "~\nWriting register 0x01 = 0x5A successful\nReading register 0x01 = 0x5A successful\n"},
    {"--sim dump", 0, "~0x01 SYS_CTRL 0x12 RESET=0 SLEEP=0 CLKSEL1=0 CLKSEL0=0 ADC_EN=1 PWR_EN=0\n", ""},
    {"--sim dump --format=csv", 0, "~address,name,value,bits\n0x00,CHIP_ID,0xA7,REV3=1 REV2=0 ", ""},
    {"--sim dump --format json", 0, "~\"bits\": [{\"bit\": 0, \"name\": \"KICK\", \"value\": 1}]}\n]\n", ""},
    {"--sim save saved.csv", 0, "", ""},
    {"--sim diff saved.csv live", 0, "", ""},
    {"--sim load changed.csv --verify", 0, "", ""},
    {"diff good.csv changed.csv", 1, "0x01 SYS_CTRL 0x12 0x13 PWR_EN:0->1\n0x03 INT_MASK -- 0x1C\n", ""},
    {"--sim --log replay session.log", 0, "",
     "~\n\nWriting register 0x01 = 0x05 successful\nWriting register 0x12 = 0xAB successful\n"},
    {"--sim replay good.csv", 0, "", "regdiag-cli: good.csv holds no successful writes: nothing sent\n"},
    {"--sim --log=run.log write 0x40 7", 0, "", ""},
    {"--sim --log replay run.log", 0, "", "~\n\nWriting register 0x40 = 0x07 successful\n"},
    {"--sim watch 1 --count 1 --interval 5", 0, "0x01 SYS_CTRL 0x12\n", ""},
    // Each injected fault, everywhere or at one register.
    {"--sim --sim-fault nack read 1", 1, "", kFails + "No ACK from QRV4417. Check power and connections.\n"},
    {"--sim --sim-fault i2c-error read 1", 1, "", kFails + "General I2C error\n"},
    {"--sim --sim-fault transfer-error read 1", 1, "", kFails + "USB transfer error\n"},
    {"--sim --sim-fault timeout read 1", 1, "", kFails + "USB transfer error\n"},
    {"--sim --sim-fault short read 1", 1, "", kFails + "USB transfer error\n"},
    {"--sim --sim-fault late read 1", 1, "", kFails + "USB transfer error\n"},
    {"--sim --sim-fault unplugged read 1", 1, "", kNoBridge},
    // A reply left in the bridge before the start is drained, never shown.
    {"--sim --sim-fault stale read 1", 0, "0x01 SYS_CTRL 0x12\n", ""},
    {"--sim --sim-fault=nack@0x02 read 1 2 3", 1, "0x01 SYS_CTRL 0x12\n0x03 INT_MASK 0x1C\n",
     "~Reading register 0x02 failed: No ACK"},
    {"--sim --sim-fault unplugged@SYS_CTRL read 0 1 2", 1, "0x00 CHIP_ID 0xA7\n",
     "regdiag-cli: Reading register 0x01 failed: USB transfer error\n" + kNoBridge},
    {"--sim --sim-fault nack@0x10 dump", 1, "~C_OVT=0\n0x11 BUCK1_VOUT", "~0x10 failed"},
    {"--sim --sim-fault i2c-error@0x42 save x.csv", 1, "", "~x.csv not written"},
    {"diff x.csv good.csv", 2, "", "~x.csv: no such file"},
    {"--sim --log read 1 300", 2, "", "~register address out of range (0x00-0xFF): 300\n"},
    {"--sim --log write 1 256", 2, "", "~value out of range (0x00-0xFF): 256\n"},
    {"--sim --log write 1", 2, "", "~usage: regdiag-cli [options] write REG VALUE [--verify]"},
    {"--sim --log diff good.csv good.csv good.csv", 2, "", "~usage: regdiag-cli [options] diff A B"},
    {"--sim --log dump extra", 2, "", "~usage: regdiag-cli [options] dump [--format text|csv|json]"},
    {"--sim --log load bad.csv", 2, "", "~bad.csv: line 3: register 0x01 given twice"},
    {"--sim --log diff good.csv missing.csv", 2, "", "~missing.csv: no such file\n"},
    {"--sim --log save no/such/folder/x.csv", 2, "", "~no/such/folder/x.csv: cannot be written"},
    {"--sim --log watch 1 --interval 3600001 --count 1", 2, "",
     "~--interval must be a whole number from 1 to 3600000"},
    {"--sim --log dump --format xml", 2, "", "~--format must be text, csv or json"},
    {"--sim --log --sim-fault bogus read 1", 2, "", "~unknown --sim-fault kind 'bogus'"},
    {"--sim --log --sim-fault stale@1 read 1", 2, "", "~--sim-fault: stale takes no @ADDR"},
    {"--sim --log --map missing.csv read 1", 2, "", "~missing.csv: no such file\n"},
    {"--sim --log --map good.csv/tabdefs.csv read 1", 2, "", "~good.csv/tabdefs.csv: no such file\n"},
    {"--sim-fault nack read 1", 2, "", "~--sim-fault needs --sim"},
    {"--sim --log= read 1", 2, "", "~unknown option or missing argument: --log="},
    {"--sim --log frobnicate", 2, "", "~unknown command 'frobnicate'"},
};

void ExpectText(const std::string& text, const std::string& want) {
  if (!want.starts_with('~')) {
    EXPECT_EQ(text, want);
    return;
  }
  std::istringstream pieces(want.substr(1));
  for (std::string piece; std::getline(pieces, piece, '~');)
    EXPECT_NE(text.find(piece), std::string::npos) << piece << " in\n" << text;
}

fs::path Folder() {
  const fs::path folder = fs::temp_directory_path() / ("regdiag_cli_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const auto& [name, bytes] : kFiles) std::ofstream(folder / name, std::ios::binary) << bytes;
  return folder;
}

TEST(CliProcessTest, EachRunEndsWithItsStatusAndItsOutput) {
  const fs::path folder = Folder();
  for (const auto& [words, status, out, err] : kSteps) {
    SCOPED_TRACE("regdiag-cli " + words);
    std::istringstream split(words);
    const test::CliProcess process(folder, {std::istream_iterator<std::string>(split), {}});
    EXPECT_EQ(process.Wait(), status);
    ExpectText(process.Out(), out);
    ExpectText(process.Err(), err);
    if (status == 2) {
      EXPECT_EQ(process.Err().find("Initializing driver"), std::string::npos);
    }
  }
  fs::remove_all(folder);
}

// Without a map beside it, regdiag-cli says so and goes on with addresses alone.
TEST(CliProcessTest, WithoutAMapRegistersHaveNoNames) {
  const fs::path folder = Folder();
  const fs::path program = folder / "regdiag-cli";
  fs::copy_file(REGDIAG_CLI, program, fs::copy_options::overwrite_existing);
  const test::CliProcess run(folder, {"--sim", "read", "1"}, program);
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_EQ(run.Out() + run.Err(), "0x01 - 0x12\nregdiag-cli: Configuration file (tabdefs.csv) not found.\n");
  fs::remove_all(folder);
}

// The help is the one the README shows.
TEST(CliProcessTest, HelpIsTheReadmes) {
  const fs::path folder = Folder();
  const test::CliProcess help(folder, {"--help"});
  EXPECT_EQ(help.Wait(), 0);
  std::ifstream file(REGDIAG_README, std::ios::binary);
  const std::string readme{std::istreambuf_iterator<char>(file), {}};
  const std::size_t start = std::min(readme.find("usage: regdiag-cli"), readme.size());
  EXPECT_EQ(readme.substr(start, help.Out().size()), help.Out());
  fs::remove_all(folder);
}

// Ctrl+C ends a watch well (its usual end), and a long read as interrupted.
TEST(CliProcessTest, CtrlCEndsAWatchWellAndAReadAsInterrupted) {
  const fs::path folder = Folder();
  std::vector<std::string> read(256, "1");
  read.insert(read.begin(), {"--sim", "--log", "read"});
  for (const auto& [args, status, err] :
       {std::tuple(std::vector<std::string>{"--sim", "watch", "SYS_CTRL"}, 0, ""),
        std::tuple(read, 1, "~successful\nregdiag-cli: interrupted\n")}) {
    const test::CliProcess run(folder, args);
    for (int i = 0; i < 10000 && (run.Out() + run.Err()).find("0x12") == std::string::npos; ++i)
      ::usleep(1000);  // it has started
    ::kill(run.pid, SIGINT);
    EXPECT_EQ(run.Wait(), status);
    ExpectText(run.Out(), "~0x01 SYS_CTRL 0x12\n");
    ExpectText(run.Err(), err);
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace regdiag
