// regdiag-cli as a script meets it: the built program run, run after run, on
// the simulated bridge in a folder holding the files below. Each run gives its
// words, its exit status, and what stdout and stderr hold: exactly that text
// (empty: quiet), or each piece of a text that starts with '~' and separates
// them with '~'. A run refused for bad input has not even started the driver.
// A run whose words begin with "ulimit -f N" runs under that file size limit
// with SIGXFSZ ignored, so that its writes fail with EFBIG (and its stderr,
// a file too, stays empty).
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "core/files/file_read.h"

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
    {"cr.log", "Writing register 0x01 = 0x05 successful\rWriting register 0x12 = 0xAB successful\r"},
    {"lf.map", "TABNAME,P\nREG,1,SYS_CTRL\rREG,2,Q\"T\nBITS,A,B,C,D,E,F,G,H\r\nREG,3,E\x1b]0;X\x07\xC2\x9B\n"},
    {"empty.map", "TITLE,none\n"},
    {"rules.map",
     "TABNAME,P\nREG,1,SYS_CTRL\nBITS,RESET,SLEEP,-,-,CLKSEL1,CLKSEL0,ADC_EN,PWR_EN\nRESET,&H02\n"
     "FIELD,CLKSEL,3,2,RW,0=INTERNAL,1=EXTERNAL,2=PLL\nFIELD,LOCK,7,7,RO\nREG,2,INT_STATUS\nACCESS,RC\n"
     "FIELD,FLAGS,7,0\nREG,3,CHIP\nACCESS,RO\nREG,4,INT_CLEAR\nACCESS,WO\nRESET,0\nFIELD,C_ALERT,4,4,W1C\n"
     "FIELD,C_ALL,1,0\nREG,5,WONR\nACCESS,WO\nFIELD,X,7,0\nFIELD,BAD,9,0\n"},
    {"clk.csv", "address,name,value\n0x01,SYS_CTRL,0x0A\n0x02,INT_STATUS,0x55\n"},
    {"all.csv", "address,name,value\n0x01,SYS_CTRL,0x0A\n0x02,INT_STATUS,0x55\n0x03,CHIP,0x77\n0x04,INT_CLEAR,0x13\n"},
    {"rules.log", "Writing register 0x03 = 0x01 successful\nWriting register 0x01 = 0x05 successful\n"},
    {"bad.svd", "<device>\n<name>X</name>\n<peripherals>\n</device>\n"},
};

using Step = std::tuple<std::string, int, std::string, std::string>;  // words, status, stdout, stderr

const std::string kFails = "~Reading register 0x01 failed: ";
const std::string kNoBridge = "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n";

const Step kSteps[] = {
    {"--sim read 0x00 sys_ctrl 18 &H2F", 0,
     "0x00 CHIP_ID 0xA7\n0x01 SYS_CTRL 0x12\n0x12 BUCK2_CTRL 0x0A\n0x2F - 0x3E\n", ""},
    {"--sim --log write SYS_CTRL 0x5A --verify", 0, "",
     "~\nWriting register 0x01 = 0x5A successful\nReading register 0x01 = 0x5A successful\n"},
    {"--sim dump", 0, "~0x01 SYS_CTRL 0x12 RESET=0 SLEEP=0 CLKSEL=0(INTERNAL) ADC_EN=1 PWR_EN=0\n", ""},
    {"--sim dump --format=csv", 0, "~address,name,value,bits\n0x00,CHIP_ID,0xA7,REV=10 ID=7\n", ""},
    {"--sim dump --format json", 0,
     "~[\n  {\n    \"address\": 0,\n    \"name\": \"CHIP_ID\",\n    \"value\": 167,\n"
     "~\"label\": null,\n        \"access\": \"RW\"\n      }\n    ]\n  }\n]\n",
     ""},
    {"names", 0, "~CHIP_ID\nSYS_CTRL\nINT_STATUS\n", ""},
    {"--sim save saved.csv", 0, "", ""},
    {"--sim diff saved.csv live", 0, "", ""},
    {"--sim load changed.csv --verify", 0, "", ""},
    // A save that fails keeps the old snapshot: the diff after it still reads it.
    {"ulimit -f 0 --sim save good.csv", 1, "", ""},
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
    {"--sim --log --sim-fault unplugged read 1", 1, "", "~Searching for USB-to-I2C interface...\n" + kNoBridge.substr(13) + kNoBridge},
    // A reply left in the bridge before the start is drained, never shown.
    {"--sim --sim-fault stale read 1", 0, "0x01 SYS_CTRL 0x12\n", ""},
    {"--sim --sim-fault=nack@0x02 read 1 2 3", 1, "0x01 SYS_CTRL 0x12\n0x03 INT_MASK 0x1C\n",
     "~Reading register 0x02 failed: No ACK"},
    {"--sim --log --sim-fault unplugged@SYS_CTRL read 0 1 2", 1, "0x00 CHIP_ID 0xA7\n",
     "~DeviceDetach: Received detach~" + kNoBridge},
    {"--sim --sim-fault nack@0x10 dump", 1, "~M_OVT=0\n0x11 BUCK1_VOUT", "~0x10 failed"},
    {"--sim --sim-fault i2c-error@0x41 save x.csv", 1, "", "~x.csv not written"},
    {"diff x.csv good.csv", 2, "", "~x.csv: no such file"},
    {"--sim --log read 1 300", 2, "", "~register address out of range (0x00-0xFF): 300\n"},
    {"--sim --log write 1 256", 2, "", "~value out of range (0x00-0xFF): 256\n"},
    {"--sim --log write 1", 2, "", "~usage: regdiag-cli [options] write REG VALUE [--verify]"},
    {"--sim --log diff good.csv good.csv good.csv", 2, "", "~usage: regdiag-cli [options] diff A B"},
    {"--sim --log dump extra", 2, "", "~usage: regdiag-cli [options] dump [--format text|csv|json]"},
    {"--sim --log load bad.csv", 2, "", "~bad.csv: line 3: register 0x01 given twice"},
    {"--sim --log diff good.csv missing.csv", 2, "", "~missing.csv: no such file\n"},
    {"--sim --log save no/such/folder/x.csv", 2, "", "~no/such/folder/x.csv: No such file or directory\n"},
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
    // Line ends CR LF, LF or CR; CSV quoting; control characters escaped.
    {"--sim --map lf.map dump --format csv", 0,
     "address,name,value,bits\n0x01,SYS_CTRL,0x12,\n0x02,\"Q\"\"T\",0x03,A=0 B=0 C=0 D=0 E=0 F=0 G=1 H=1\n"
     "0x03,E\\x1b]0;X\\x07\\u009b,0x1C,\n", ""},
    {"--sim --map lf.map dump --format json", 0, "~\"name\": \"E\\u001b]0;X\\u0007\\u009b\"", ""},
    {"--sim read \x1b[2J", 2, "", "~'\\x1b[2J'"},
    {"--sim --log replay cr.log", 0, "",
     "~\n\nWriting register 0x01 = 0x05 successful\nWriting register 0x12 = 0xAB successful\n"},
    {"--sim --map empty.map save x.csv", 2, "",
     "regdiag-cli: Register map empty.map names no register.\nregdiag-cli: no named register: nothing to save\n"},
    {"--sim --map empty.map diff good.csv live", 2, "", "~nothing to read live\n"},
    // Saving never destroys: no device, FIFO or file the command reads.
    {"--sim save /dev/null", 2, "", "regdiag-cli: /dev/null: not a regular file\n"},
    {"--sim save fifo", 2, "", "regdiag-cli: fifo: not a regular file\n"},
    {"--sim --log=link.csv load good.csv", 2, "", "~--log=link.csv names good.csv"},
    {"--sim --log=./new.csv save new.csv", 2, "", "~--log=./new.csv names new.csv"},
    {"--sim replay long.log", 2, "", "regdiag-cli: long.log: line 1 is longer than 64 KiB\n"},
    {"--sim --map=. read 1", 2, "", "regdiag-cli: .: is a directory\n"},
    // diff exits 2 when it cannot compare; watch --count counts reads.
    {"--sim --sim-fault nack diff good.csv live", 2, "", "~No ACK"},
    {"--sim --sim-fault unplugged diff live good.csv", 2, "", kNoBridge},
    {"--sim watch 1 --count 3 --interval 1", 0, "0x01 SYS_CTRL 0x12\n", ""},
    {"--sim --log --sim-fault nack@3 load changed.csv --verify", 1, "",
     "~Writing register 0x03 failed~Reading register 0x01 = 0x13 successful"},
    // The map's access rules, fields and reset values (rules.map).
    {"--map rules.map check", 1, "20: bits 9..0 of BAD are not 7 >= MSB >= LSB >= 0\n", ""},
    {"check", 0, "", ""},
    {"--map missing.map check", 2, "", "regdiag-cli: missing.map: no such file\n"},
    {"--sim --map=rules.map read SYS_CTRL.clksel INT_STATUS INT_STATUS", 0,
     "0x01 SYS_CTRL.CLKSEL 0 INTERNAL\n0x02 INT_STATUS 0x03\n0x02 INT_STATUS 0x00\n", ""},
    {"--sim --map=rules.map watch SYS_CTRL.CLKSEL --count 1", 0, "0x01 SYS_CTRL.CLKSEL 0 INTERNAL\n", ""},
    {"--sim --map=rules.map --log write sys_ctrl.CLKSEL pll --verify", 0, "",
     "~Reading register 0x01 = 0x12 successful\nWriting register 0x01 = 0x1A successful\nReading register 0x01 = 0x1A"},
    {"--sim --map=rules.map --log write INT_CLEAR.C_ALL 3", 0, "", "~\nWriting register 0x04 = 0x03 successful\n"},
    {"--sim --map=rules.map write SYS_CTRL 0x80 --verify", 0, "", ""},
    {"--sim --map=rules.map read INT_CLEAR", 2, "", "~write-only: it cannot be read\n"},
    {"--sim --map=rules.map write CHIP 1", 2, "", "~read-only: it cannot be written\n"},
    {"--sim --map=rules.map write INT_CLEAR 1 --verify", 2, "", "~--verify cannot read it back\n"},
    {"--sim --map=rules.map write INT_STATUS.FLAGS 1", 2, "", "~its fields cannot be written\n"},
    {"--sim --map=rules.map write SYS_CTRL.LOCK 0", 2, "", "~that field of register 0x01 is read-only\n"},
    {"--sim --map=rules.map write WONR.X 1", 2, "", "~no reset value to start a field write from\n"},
    {"--sim --map=rules.map write SYS_CTRL.CLKSEL 4", 2, "", "~4"},
    {"--sim --map=rules.map write SYS_CTRL.CLKSEL FAST", 2, "", "~FAST"},
    {"--sim --map=rules.map read SYS_CTRL.NONE", 2, "", "~register 'SYS_CTRL' has no field 'NONE'\n"},
    {"--sim --map=rules.map --log dump", 0,
     "0x01 SYS_CTRL 0x12 LOCK=0 SLEEP=0 CLKSEL=0(INTERNAL) ADC_EN=1 PWR_EN=0\n0x03 CHIP 0x1C\n",
     "~Skipping register 0x02: reading it changes it\n~Skipping register 0x04: write-only\n"},
    {"--sim --map=rules.map dump --format csv", 0,
     "~0x01,SYS_CTRL,0x12,LOCK=0 SLEEP=0 CLKSEL=0(INTERNAL) ADC_EN=1 PWR_EN=0\n", ""},
    {"--sim --map=rules.map dump --format json", 0,
     "~\"access\": \"RW\",\n    \"reset\": 2,~\"label\": \"INTERNAL\",\n        \"access\": \"RW\"~"
     "\"label\": null,\n        \"access\": \"RO\"~\"access\": \"RO\",\n    \"bits\": [],\n    \"fields\": []",
     ""},
    {"--map rules.map diff reset clk.csv", 1,
     "0x01 SYS_CTRL 0x02 0x0A CLKSEL:0(INTERNAL)->2(PLL)\n0x04 INT_CLEAR 0x00 --\n", ""},
    {"--sim --map rules.map diff clk.csv live", 1,
     "0x01 SYS_CTRL 0x0A 0x12 CLKSEL:2(PLL)->0(INTERNAL)\n0x03 CHIP -- 0x1C\n", ""},
    {"--sim --map rules.map --log load all.csv --verify", 0, "",
     "~Skipping register 0x02: reading it changes it\nSkipping register 0x03: read-only\n"
     "Writing register 0x04 = 0x03 successful~Reading register 0x01 = 0x0A successful\n"
     "Skipping register 0x04: write-only\n"},
    {"--sim --map rules.map --log replay rules.log", 0, "",
     "~Skipping register 0x03: read-only\nWriting register 0x01 = 0x05 successful\n"},
    // Options: once each, -h, --.
    {"--sim --sim read 1", 2, "", "~--sim given twice"},
    {"--sim write 1 2 --verify --verify", 2, "", "~--verify given twice"},
    {"-h", 0, "~usage: regdiag-cli", ""},
    {"--sim -- load -- good.csv", 0, "", ""},
    // import: a map from an SVD, written whole or not at all; it reads no map.
    {"--map missing.csv import " REGDIAG_TEST_DATA_DIR "/import_device.svd --peripheral ADC --peripheral=DMA -o i.map",
     0, "", "~import_device.svd: SHARED.CLASH of DMA: overlaps a field, dropped\n"},
    {"--map i.map names", 0, "CH0_CFG\nCH0_DATA_L\nCH0_DATA_H\nCH1_CFG\nCH1_DATA_L\nCH1_DATA_H\nSHARED\n", ""},
    {"--log=bad.svd import bad.svd", 2, "", "~--log=bad.svd names bad.svd"},
    {"import bad.svd -o bad.map", 2, "", "regdiag-cli: bad.svd: line 4: Start-end tags mismatch\n"},
    {"--map bad.map names", 2, "", "~bad.map: no such file"},
    {"import good.csv -o good.csv", 2, "", "~good.csv: line 4: No document element found"},
    {"import " REGDIAG_TEST_DATA_DIR "/import_device.svd -o", 2, "", "~missing argument: -o"},
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
  std::ofstream(folder / "long.log") << std::string(kMostLineBytes + 1, 'x');
  ::mkfifo((folder / "fifo").c_str(), 0600);
  fs::create_symlink("good.csv", folder / "link.csv");
  return folder;
}

TEST(CliProcessTest, EachRunEndsWithItsStatusAndItsOutput) {
  const fs::path folder = Folder();
  for (const auto& [words, status, out, err] : kSteps) {
    SCOPED_TRACE("regdiag-cli " + words);
    std::istringstream split(words);
    std::vector<std::string> args{std::istream_iterator<std::string>(split), {}};
    std::string program = REGDIAG_CLI;
    if (args.front() == "ulimit") {
      args.insert(args.begin(),
                  {"-c", "trap '' XFSZ; ulimit -f " + args[2] + "; exec \"$0\" \"$@\"", program});
      args.erase(args.begin() + 3, args.begin() + 6);
      program = "/bin/sh";
    }
    const test::CliProcess process(folder, args, program);
    EXPECT_EQ(process.Wait(), status);
    ExpectText(process.Out(), out);
    ExpectText(process.Err(), err);
    if (status == 2) {
      EXPECT_EQ(process.Err().find("Initializing driver"), std::string::npos);
    }
  }
  // No save left a temporary file behind.
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
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

// Ctrl+C ends a watch well (its usual end), and a read, a sequence or a
// replay as interrupted, saying how far it got on stderr and in the log file.
TEST(CliProcessTest, CtrlCEndsAWatchWellAndTheRestAsInterrupted) {
  const fs::path folder = Folder();
  std::vector<std::string> read(256, "1");
  read.insert(read.begin(), {"--sim", "--log", "read"});
  std::string log;
  for (int i = 0; i < 300; ++i) log += "Writing register 0x62 = 0x01 successful\n";
  std::ofstream(folder / "long.log") << log;
  using Run = std::tuple<std::vector<std::string>, int, std::string>;
  for (const auto& [args, status, err] :
       {Run{{"--sim", "watch", "SYS_CTRL"}, 0, ""}, Run{read, 1, "~successful\nregdiag-cli: interrupted\n"},
        Run{{"--sim", "--log", "dump"}, 1, "~regdiag-cli: interrupted after register 0x~ read)\n"},
        Run{{"--sim", "--log=run.log", "replay", "long.log"}, 1, "~after register 0x62 (~ writes repeated)\n"}}) {
    const test::CliProcess run(folder, args);
    const auto started = [&] {
      std::ifstream file(folder / "run.log");
      const std::string logged{std::istreambuf_iterator<char>(file), {}};
      return std::regex_search(run.Out() + run.Err() + logged, std::regex("0x12|0x62 = "));
    };
    for (int i = 0; i < 10000 && !started(); ++i) ::usleep(1000);
    ::kill(run.pid, SIGINT);
    EXPECT_EQ(run.Wait(), status);
    ExpectText(run.Err(), err);
    if (args[1] != "--log=run.log") continue;
    std::ifstream file(folder / "run.log");
    const std::string written{std::istreambuf_iterator<char>(file), {}};
    ExpectText(written, std::regex_replace(std::regex_replace(err, std::regex("regdiag-cli: "), ""),
                                           std::regex("\n"), "\r\n"));
    fs::remove(folder / "run.log");
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace regdiag
