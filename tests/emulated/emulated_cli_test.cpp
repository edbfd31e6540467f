// regdiag-cli on the libusb backend, its bridge emulated where the kernel
// meets libusb: each command reaches the emulated register file, and a
// bridge that has gone is reported as missing.
//
// Runs under umockdev-wrapper; regdiag-cli runs as a child process, which
// inherits the preload library and the test bed.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_process.h"
#include "emulated_bridge.h"

namespace regdiag::test {
namespace {

using usb::VirtualBridge;

TEST(EmulatedCliTest, EveryCommandReachesTheRegisterFileThroughLibusb) {
  ASSERT_TRUE(EmulatedUsb::InMockEnvironment()) << "run this program through umockdev-wrapper";
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("regdiag_emulated_cli_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  EmulatedUsb usb;
  const int bridge = usb.Plug();
  const auto chip = [&](auto visit) { return usb.Device(bridge).WithBridge(visit); };
  chip([](VirtualBridge& registers) { registers.SetRegister(0x01, 0x12); });

  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } kSteps[] = {
      {{"read", "SYS_CTRL", "2"}, 0, "0x01 SYS_CTRL 0x12\n0x02 INT_STATUS 0x00\n"},
      {{"write", "SYS_CTRL", "0x5A", "--verify"}, 0, ""},
      {{"save", "snapshot.csv"}, 0, ""},
      {{"write", "1", "0"}, 0, ""},
      {{"diff", "snapshot.csv", "live"}, 1, "0x01 SYS_CTRL 0x5A 0x00 SLEEP:1->0 CLKSEL1:1->0 ADC_EN:1->0\n"},
      {{"load", "snapshot.csv", "--verify"}, 0, ""},
      {{"watch", "1", "--count", "1"}, 0, "0x01 SYS_CTRL 0x5A\n"},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.args.front());
    const CliProcess run(folder, step.args);
    EXPECT_EQ(run.Wait(), step.status);
    EXPECT_EQ(run.Out(), step.out);
    EXPECT_EQ(run.Err(), "");
  }
  EXPECT_EQ(chip([](VirtualBridge& registers) { return registers.Register(0x01); }), 0x5A);

  usb.Unplug(bridge);
  const CliProcess missing(folder, {"read", "1"});
  EXPECT_EQ(missing.Wait(), 1);
  EXPECT_EQ(missing.Err(), "regdiag-cli: USB-to-I2C interface not detected. Please check connections.\n");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace regdiag::test
