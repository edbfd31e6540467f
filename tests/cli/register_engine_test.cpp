// The engine directly, through the simulated bridge, under the console's
// waiter: what each fault comes to, the log line it leaves, whether the next
// transaction recovers, a sequence cancelled in the middle of a transfer,
// and a log that replays its own successful writes.
#include "transactions/core/register_engine.h"

#include <atomic>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/console_waiter.h"
#include "link/diag_lib/session_log_text.h"
#include "link/usb_lib/sim_usb_library.h"
#include "transactions/core/logged_writes.h"

namespace regdiag {
namespace {

using Fault = usb::SimUsbLibrary::Fault;

class RecordingLog final : public LogSink {
 public:
  void Append(std::string_view text, std::string_view suffix) override { log_.Append(text, suffix); }
  void Clear() override { log_.Clear(); }
  [[nodiscard]] const std::string& Text() const { return log_.Text(); }
  // The last line that is not empty.
  [[nodiscard]] std::string LastLine() const {
    const std::string& text = log_.Text();
    const std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) return {};
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
  }

 private:
  SessionLogText log_;
};

// An engine on a simulated bridge with the demo values, started as the
// command line starts it.
struct Bench {
  explicit Bench(bool plugged = true) {
    map.RegisterNames[0x01] = "SYS_CTRL";
    map.RegisterNames[0x02] = "INT_STATUS";
    if (plugged) sim.Bridge(sim.Plug()).LoadDemoValues();
    waiter.Serve([this] { engine.Session().RunNotifications(); });
    engine.Session().Start(BridgeSession::StartWait::UntilAttached);
  }
  ~Bench() {
    engine.Session().End();
    waiter.Serve({});
  }

  std::atomic<bool> cancel{false};
  cli::ConsoleWaiter waiter{cancel};
  usb::SimUsbLibrary sim;
  RegisterMap map;
  RegisterValueCache cache{};
  RecordingLog log;
  RegisterEngine engine{sim, map, cache, log, waiter, [this] { waiter.Wake(); }};
};

TEST(RegisterEngineTest, StartsAsSoonAsTheBridgeIsAccepted) {
  const Bench bench;
  EXPECT_EQ(bench.log.Text(),
            "USB-to-I2C driver initialization successful.\r\nUSB-to-I2C interface detected.\r\n\r\n");
}

TEST(RegisterEngineTest, EachFaultComesToItsOutcomeAndLogLineAndTheNextTransactionRecovers) {
  const std::string noAck = " failed: No ACK from QRV4417. Check power and connections.";
  const std::string transfer = " failed: USB transfer error";
  const struct {
    std::optional<Fault> fault;
    Outcome read;
    std::string readEnd;  // of "Reading register 0x01..."
    Outcome write;
    std::string writeEnd;  // of "Writing register 0x01..."
  } kCases[] = {
      {std::nullopt, Outcome::Ok, " = 0x12 successful", Outcome::Ok, " = 0x5A successful"},
      {Fault::NoAck, Outcome::NoAck, noAck, Outcome::NoAck, noAck},
      {Fault::I2cError, Outcome::I2cError, " failed: General I2C error", Outcome::I2cError,
       " failed: General I2C error"},
      {Fault::TransferError, Outcome::TransferError, transfer, Outcome::TransferError, transfer},
      {Fault::Timeout, Outcome::TransferError, transfer, Outcome::TransferError, transfer},
      // A status byte alone is a whole answer to a write, not to a read.
      {Fault::StatusOnly, Outcome::TransferError, transfer, Outcome::Ok, " = 0x5A successful"},
      {Fault::Late, Outcome::TransferError, transfer, Outcome::TransferError, transfer},
      {Fault::Unplug, Outcome::TransferError, transfer, Outcome::TransferError, transfer},
  };
  for (const auto& c : kCases) {
    for (const bool write : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << "fault " << (c.fault ? static_cast<int>(*c.fault) : -1) << " write " << write);
      Bench bench;
      bench.sim.SetStandingFault(c.fault);
      ASSERT_TRUE(bench.engine.BridgeConnected());
      const Outcome outcome =
          write ? bench.engine.WriteRegister(0x01, 0x5A) : bench.engine.ReadRegister(0x01);
      EXPECT_EQ(outcome, write ? c.write : c.read);
      EXPECT_EQ(bench.log.LastLine(),
                (write ? "Writing register 0x01" + c.writeEnd : "Reading register 0x01" + c.readEnd));

      // The fault gone, the next read is judged on its own reply (a late
      // one has been drained), or finds the bridge gone.
      bench.sim.SetStandingFault(std::nullopt);
      ASSERT_TRUE(bench.waiter.Pause(kSequencePauseMs));
      const bool unplugged = c.fault == Fault::Unplug;
      EXPECT_EQ(bench.engine.BridgeConnected(), !unplugged);
      if (!unplugged) {
        EXPECT_EQ(bench.engine.ReadRegister(0x02), Outcome::Ok);
      }
      EXPECT_EQ(bench.log.LastLine(), unplugged
                                          ? "USB-to-I2C interface not detected. Please check connections."
                                          : "Reading register 0x02 = 0x03 successful");
    }
  }
}

TEST(RegisterEngineTest, WithoutABridgeASequenceSendsNothing) {
  Bench bench(false);
  EXPECT_EQ(bench.engine.ReadAll(), Outcome::NoBridge);
  EXPECT_THAT(bench.log.Text(),
              testing::EndsWith("Searching for USB-to-I2C interface...\r\n"
                                "USB-to-I2C interface not detected. Please check connections.\r\n"
                                "Reading all device registers:\r\n"
                                "USB-to-I2C interface not detected. Please check connections.\r\n"
                                "\r\n"));
  EXPECT_EQ(bench.sim.TransferCount(), 0u);
}

TEST(RegisterEngineTest, ACancelEndsTheTransferInFlightAndTheSequence) {
  Bench bench;
  bench.log.Clear();
  // Ctrl+C comes while the first request hangs on the bridge.
  bench.sim.HangNextTransfer();
  bench.sim.OnNextTransfer([&] { bench.cancel = true; });
  EXPECT_EQ(bench.engine.ReadAll(), Outcome::Cancelled);
  EXPECT_EQ(bench.log.Text(), "Reading all device registers:\r\n");
  EXPECT_EQ(bench.sim.TransferCount(), 1u);
  bench.engine.Session().End();
  EXPECT_EQ(bench.sim.UninitCalls(), 1);
}

TEST(RegisterEngineTest, ASavedLogReplaysItsSuccessfulWritesInOrder) {
  Bench bench;
  EXPECT_EQ(bench.engine.WriteRegister(0x01, 0x5A), Outcome::Ok);
  EXPECT_EQ(bench.engine.ReadRegister(0x01), Outcome::Ok);
  bench.sim.SetStandingFault(Fault::NoAck);
  EXPECT_EQ(bench.engine.WriteRegister(0x02, 0x33), Outcome::NoAck);
  bench.sim.SetStandingFault(std::nullopt);
  EXPECT_EQ(bench.engine.WriteRegister(0xFF, 0x00), Outcome::Ok);
  EXPECT_EQ(bench.engine.WriteRegister(0x01, 0x0B), Outcome::Ok);

  std::string withLf = bench.log.Text();
  std::erase(withLf, '\r');
  for (const std::string& saved : {bench.log.Text(), withLf}) {
    std::vector<std::array<int, 3>> writes;
    for (const LoggedWrite& write : SuccessfulWrites(saved))
      writes.push_back({write.address, write.value, write.line});
    EXPECT_THAT(writes, testing::ElementsAre(std::array{0x01, 0x5A, 4}, std::array{0xFF, 0x00, 7},
                                             std::array{0x01, 0x0B, 8}));
  }
}

}  // namespace
}  // namespace regdiag
