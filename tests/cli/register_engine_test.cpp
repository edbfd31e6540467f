// The engine on the simulated bridge: each fault's outcome and log lines, the
// sequences and a cancel, and a soak of random work with injected faults.
#include "core/transactions/register_engine.h"

#include <array>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "backends/sim/sim_usb_library.h"
#include "core/link/notification_queue.h"
#include "core/text/link_log_text.h"
#include "core/transactions/bridge_packets.h"

namespace regdiag {
namespace {

using Fault = usb::SimUsbLibrary::Fault;
using enum Outcome;

// The engine on a simulated bridge with the demo values, started as the
// command line starts it; the bench is its log, waiter and clock. Only a pause
// moves time on: it notes itself in the log and runs the notifications, and a
// hung transfer's wait runs `duringHang` (which may unplug; else it times out).
struct Bench : LogSink, Waiter {
  Bench() {
    map.RegisterNames[0x01] = map.RegisterNames[0x02] = "R";
    sim.Bridge(sim.Plug()).LoadDemoValues();
    engine.Session().Start(BridgeSession::StartWait::UntilAttached);
    log.clear();
  }
  void Append(std::string_view text, std::string_view suffix) override { log.append(text).append(suffix); }
  void Clear() override { log.clear(); }
  bool Pause(int msec) override { return PauseUntil(msec, {}); }
  bool PauseUntil(int msec, const std::function<bool()>& /*done*/) override {
    log += "(pause " + std::to_string(msec) + ")\r\n";
    if (duringPause) std::exchange(duringPause, nullptr)();
    now += std::chrono::milliseconds(msec);
    engine.Session().RunNotifications();
    return !cancel;
  }
  bool Cancelled() const override { return cancel; }
  bool WaitUntil(const std::function<bool()>& /*ended*/, std::chrono::steady_clock::time_point) override {
    if (duringHang) std::exchange(duringHang, nullptr)();
    engine.Session().RunNotifications();  // held while a transfer is in flight
    return !cancel;
  }
  void Wake() override {}
  std::string Take() { return std::exchange(log, {}); }  // the log since the last call

  bool cancel = false;
  std::function<void()> duringHang, duringPause;
  std::string log;
  std::chrono::steady_clock::time_point now;
  usb::SimUsbLibrary sim;
  RegisterMap map;
  RegisterValueCache cache{};
  RegisterEngine engine{
      sim, map, cache, *this, *this, [] {}, {.notConnected = {}, .now = [this] { return now; }}};
};

std::string PipeFailed(const std::string& pipe, const std::string& error) {
  return pipe + "Pipe: UsbTransfer() failed: error &H" + error + "\r\n" + pipe + " Pipe failed\r\n";
}
std::function<void(Bench&)> Standing(Fault fault) {
  return [fault](Bench& b) { b.sim.SetStandingFault(fault); };
}
const std::string kNoAck = " failed: No ACK from QRV4417. Check power and connections.\r\n";
const std::string kGone = PipeFailed("Write", "20000003 (The device is no longer connected)");

// As the next request goes out (after the drain), the chip first answers
// a read of 0x00 that came before.
void AnswerAnEarlierRequestFirst(Bench& b) {
  b.sim.OnNextTransfer([&b] {
    if (b.sim.TransferPipe() != kOutPipe) return AnswerAnEarlierRequestFirst(b);
    b.sim.Bridge().HandleRequest(ReadRequest(0x00));
  });
}
// A request times out, which starts the watch on replies; then `fault`.
std::function<void(Bench&)> InTheWatch(const std::function<void(Bench&)>& fault) {
  return [fault](Bench& b) {
    b.sim.TimeOutNextTransfer();
    static_cast<void>(b.engine.ReadRegister(0x00)), b.Take(), fault(b);
  };
}

// Register 0x01 (0x12) is read, or written with 0x5A, under a fault. Then,
// the fault gone, 0x02 (0x03) is read: its own value (a late reply has been
// drained), or no bridge once the detach has come.
TEST(RegisterEngineTest, EachFaultComesToItsOutcomeAndLogLinesAndTheNextReadToItsOwnValue) {
  const struct {
    const char* name;
    std::function<void(Bench&)> inject;
    std::string pipeLines;  // logged before the transaction line
    Outcome read, write;
  } kCases[] = {
      {"nack", Standing(Fault::NoAck), "", NoAck, NoAck},
      {"request fails", Standing(Fault::TransferError), PipeFailed("Write", "2000000B (Input/output error)"),
       TransferError, TransferError},
      {"library says cancelled", [](Bench& b) { b.sim.FailNextTransfer(usb::kStatusCancelled); },
       PipeFailed("Write", "20000010 (The operation was cancelled)"), TransferError, TransferError},
      {"late", Standing(Fault::Late), PipeFailed("Read", "20000007 (The transfer timed out)"), TransferError,
       TransferError},
      // Drained when the bridge is claimed, before the first request.
      {"a reply waiting when the bridge is claimed",
       [](Bench& b) {
         b.sim.Unplug(*b.sim.HeldBridge()), b.sim.LeaveReplyAtNextPlug();
         b.sim.Bridge(b.sim.Plug()).LoadDemoValues(), static_cast<void>(b.Pause(kSequencePauseMs)), b.Take();
       },
       "", Ok, Ok},
      // 0x00's reply comes after the drain, ahead of 0x01's: the read after it finds 0x01's.
      {"a reply after the drain, in the watch", InTheWatch(AnswerAnEarlierRequestFirst), "", TransferError,
       TransferError},
      // A zero-length packet after each full one: no reply, nor a stray packet.
      {"zero-length packets, in the watch",
       InTheWatch([](Bench& b) { b.sim.SetPadReplies(true), b.sim.SetZeroLengthPackets(true); }), "", Ok, Ok},
      // A status byte alone is a whole answer to a write, not to a read,
      // unless it names a failure.
      {"status byte alone", Standing(Fault::StatusOnly), "", TransferError, Ok},
      {"status byte alone, no ack",
       [](Bench& b) { b.sim.ShortenNextReply(1), b.sim.ForceNextStatusByte(0x40); }, "", NoAck, NoAck},
      {"device information fails", [](Bench& b) { b.sim.FailNextDeviceInfo(usb::kStatusIoError); },
       "WritePipe: UsbGetDeviceInfo() failed:\r\nerror &H2000000B (Input/output error)\r\n\r\n",
       TransferError, TransferError},
      {"hang ended by unplug",
       [](Bench& b) { b.sim.HangNextTransfer(), b.duringHang = [&b] { b.sim.Unplug(*b.sim.HeldBridge()); }; },
       kGone, TransferError, TransferError},
  };
  for (const auto& c : kCases) {
    for (const bool write : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (write ? ", write" : ", read"));
      Bench b;
      c.inject(b);
      const Outcome outcome = write ? c.write : c.read;
      EXPECT_EQ(write ? b.engine.WriteRegister(0x01, 0x5A) : b.engine.ReadRegister(0x01), outcome);
      EXPECT_EQ(b.cache.Known(0x01), write || outcome == Ok);  // a failed read changes nothing but the log
      const std::string ends[] = {write ? " = 0x5A successful\r\n" : " = 0x12 successful\r\n", "", kNoAck,
                                  " failed: General I2C error\r\n", " failed: USB transfer error\r\n"};
      EXPECT_EQ(b.Take(), c.pipeLines + (write ? "Writing" : "Reading") + " register 0x01" +
                              ends[static_cast<int>(outcome)]);
      b.sim.SetStandingFault(std::nullopt);
      ASSERT_TRUE(b.Pause(kSequencePauseMs));
      if (b.engine.BridgeConnected()) static_cast<void>(b.engine.ReadRegister(0x02));
      EXPECT_TRUE(b.log.ends_with(
          c.pipeLines == kGone ? "DeviceDetach: Received detach for device handle &H1000\r\nUSB-to-I2C "
                                 "interface not detected. Please check connections.\r\n"
                               : "Reading register 0x02 = 0x03 successful\r\n"))
          << b.log;
    }
  }
}

// A notification that comes while a transfer holds the queue waits for it,
// and the owner is woken again when the hold ends (its first wake was spent).
TEST(NotificationQueueTest, WhatComesDuringAHoldRunsAfterIt) {
  int wakes = 0;
  int ran = 0;
  NotificationQueue queue([&wakes] { ++wakes; });
  {
    const NotificationQueue::Hold hold(queue);
    queue.Dispatcher()([&ran] { ++ran; });
    queue.RunPending();
    EXPECT_EQ(ran, 0);
  }
  EXPECT_EQ(wakes, 2);
  queue.RunPending();
  EXPECT_EQ(ran, 1);
}

// A sequence frames its lines with a header and an empty line, pauses 10 ms
// after every transfer and reports its first failure. Another one while a
// transfer hangs is refused; a cancel ends the transfer and the sequence with
// nothing more logged or sent. A session ended during a hung transfer closes
// once the transfer has returned, and sends nothing afterwards.
TEST(RegisterEngineTest, SequencesFramePauseReportTheFirstFailureAndEndOnACancel) {
  Bench b;
  b.sim.ForceNextStatusByte(0x80);
  b.sim.SetStandingFault(Fault::NoAck, 0x02);
  EXPECT_EQ(b.engine.ReadAll(), I2cError);
  const std::string readAll = "Reading all device registers:\r\n";
  EXPECT_EQ(b.Take(), readAll + "Reading register 0x01 failed: General I2C error\r\n(pause 10)\r\n" +
                          "Reading register 0x02" + kNoAck + "(pause 10)\r\n\r\n");
  // Write All writes no value that is not known, and no pause follows.
  b.engine.WriteRegister(0x01, 0x34);
  b.Take();
  EXPECT_EQ(b.engine.WriteAll(), Ok);
  EXPECT_EQ(b.Take(),
            "Writing all device registers:\r\nWriting register 0x01 = 0x34 successful\r\n(pause 10)\r\n"
            "Skipping register 0x02: value not known\r\n\r\n");
  // A sequence never goes on with another bridge, even one taken at once.
  b.sim.SetStandingFault(std::nullopt);
  int second = 0;
  b.duringPause = [&b, &second] { b.sim.Unplug(*b.sim.HeldBridge()), second = b.sim.Plug(); };
  EXPECT_EQ(b.engine.ReadAll(), TransferError);
  EXPECT_TRUE(b.Take().ends_with("Reading register 0x02 failed: USB transfer error\r\n(pause 10)\r\n\r\n"));
  EXPECT_TRUE(b.sim.HeldBridge() == second && b.sim.Bridge(second).RequestCount() == 0u);
  b.sim.HangNextTransfer();
  b.duringHang = [&b] {
    EXPECT_EQ(b.engine.ReadAll(), Busy);
    b.cancel = true;
  };
  EXPECT_EQ(b.engine.ReadAll(), Cancelled);
  EXPECT_EQ(b.Take(), readAll + "(pause 10)\r\n");
  // The drains of the two bridges' claims, five exchanges, the hung request.
  EXPECT_EQ(b.sim.TransferCount(), 13u);
  b.sim.HangNextTransfer();
  b.duringHang = [&b] {
    b.engine.Session().End();
    EXPECT_EQ(b.sim.UninitCalls(), 0);
  };
  EXPECT_EQ(b.engine.ReadRegister(0x01), Cancelled);
  EXPECT_EQ(b.sim.UninitCalls(), 1);
  EXPECT_EQ(b.engine.WriteRegister(0x01, 0), Cancelled);
  EXPECT_EQ(b.sim.TransferCount(), 14u);
}

// Whole-device sequences leave out what the map's access rules keep them
// from, each with one line after the bridge check and no transfer or pause;
// Write All sends W1C bits as 0. The simulated chip follows the same rules: a
// single read of an RC register still reads it, and clears it to its reset.
const char* const kRulesMap =
    "REG,1,ST\r\nACCESS,RC\r\nRESET,&H40\r\nREG,2,CLR\r\nACCESS,WO\r\nFIELD,C,4,4,W1C\r\nREG,3,ID\r\n"
    "ACCESS,RO\r\nREG,4,CTL\r\nFIELD,GO,7,7,W1C\r\nFIELD,ID,6,5,RO\r\nFIELD,M,3,0\r\nREG,5,KICK\r\n"
    "ACCESS,WO\r\nRESET,1\r\nFIELD,K,0,0,W1C\r\nFIELD,P,3,1\r\nREG,6,PLAIN";

TEST(RegisterEngineTest, SequencesAndTheChipFollowTheMapsAccessRules) {
  Bench b;
  b.map = ParseRegisterMap(kRulesMap);
  b.sim.FollowRules(usb::ChipRulesOf(b.map));
  for (const auto& [address, value] :
       {std::pair{1, 0x05}, {2, 0x10}, {3, 0xA7}, {4, 0x81}, {5, 0}, {6, 0x66}})
    b.sim.Bridge().SetRegister(address, value);
  const std::uint64_t transfers = b.sim.TransferCount();
  EXPECT_EQ(b.engine.ReadAll(), Ok);
  EXPECT_EQ(
      b.Take(),
      "Reading all device registers:\r\nSkipping register 0x01: reading it changes it\r\nSkipping register "
      "0x02: write-only\r\nReading register 0x03 = 0xA7 successful\r\n(pause 10)\r\nReading register 0x04 "
      "= 0x81 successful\r\n(pause 10)\r\nSkipping register 0x05: write-only\r\nReading register 0x06 = "
      "0x66 successful\r\n(pause 10)\r\n\r\n");
  EXPECT_EQ(b.sim.TransferCount() - transfers, 7u);  // the claim's drain, then three exchanges
  for (int a = 0; a < kRegisterCount; ++a) b.cache.Store(a, 0xFF);  // every value known
  EXPECT_EQ(b.engine.WriteAll(), Ok);
  EXPECT_EQ(
      b.Take(),
      "Writing all device registers:\r\nSkipping register 0x01: reading it changes it\r\nWriting register "
      "0x02 = 0xEF successful\r\n(pause 10)\r\nSkipping register 0x03: read-only\r\nWriting register 0x04 = "
      "0x7F successful\r\n(pause 10)\r\nWriting register 0x05 = 0xFE successful\r\n(pause "
      "10)\r\nWriting register 0x06 = 0xFF successful\r\n(pause 10)\r\n\r\n");
  // A 0 sent to a W1C bit leaves the flag; RO bits keep their value.
  EXPECT_EQ(b.sim.Bridge().Register(0x02), 0xFF);
  EXPECT_EQ(b.sim.Bridge().Register(0x04), 0x9F);
  std::vector<int> read;
  for (const auto& [address, write] : {std::pair{1, -1}, {1, -1}, {2, -1}, {3, 0x00}, {4, 0x8F}, {4, -1}}) {
    if (write >= 0) static_cast<void>(b.engine.WriteRegister(address, write));
    if (write < 0 && b.engine.ReadRegister(address) == Ok) read.push_back(b.cache[address]);
  }
  EXPECT_EQ(read, (std::vector<int>{0x05, 0x40, 0x00, 0x0F}));
  EXPECT_EQ(b.sim.Bridge().Register(0x03), 0xA7);
  // Without a bridge a sequence logs no skip line.
  b.sim.Unplug(*b.sim.HeldBridge());
  ASSERT_TRUE(b.Pause(kSequencePauseMs));
  b.Take();
  EXPECT_EQ(b.engine.WriteAll(), NoBridge);
  EXPECT_EQ(b.Take(), "Writing all device registers:\r\n" + std::string(logtext::kNotDetected) + "\r\n\r\n");
}

// The engine's other decisions, for both front ends: what a verify compares,
// what is refused, how a field write is composed, and the reset values.
TEST(AccessRulesTest, VerifyRefusalsFieldWritesAndResetValues) {
  const RegisterMap map = ParseRegisterMap(kRulesMap);
  std::vector<int> masks;
  for (const int address : {1, 2, 3, 4, 5, 6}) masks.push_back(VerifyMask(map, address));
  EXPECT_EQ(masks, (std::vector<int>{0, 0, 0, 0x0F, 0, 0xFF}));
  const RegisterRules& ctl = map.RulesOf(4);
  const RegisterField& kick = map.RulesOf(5).fields[1];
  using enum Refusal;
  const std::pair<std::optional<Refusal>, std::optional<Refusal>> kRefusals[] = {
      {ReadRefusal(map, 2), ReadWriteOnly},
      {ReadRefusal(map, 1), {}},
      {WriteRefusal(map, 3, false), WriteReadOnly},
      {WriteRefusal(map, 2, true), VerifyWriteOnly},
      {WriteRefusal(map, 2, false), {}},
      {FieldWriteRefusal(map, 1, kick), FieldOfReadOnly},
      {FieldWriteRefusal(map, 3, kick), FieldOfReadOnly},
      {FieldWriteRefusal(map, 4, *ctl.FindField("id")), ReadOnlyField},
      {FieldWriteRefusal(map, 2, map.RulesOf(2).fields[0]), WriteOnlyWithoutReset},
      {FieldWriteRefusal(map, 4, *ctl.FindField("GO")), {}},
      {FieldWriteRefusal(map, 5, kick), {}}};
  for (std::size_t i = 0; i < std::size(kRefusals); ++i)
    EXPECT_EQ(kRefusals[i].first, kRefusals[i].second) << i;
  EXPECT_EQ(RefusalText(2, ReadWriteOnly), "register 0x02 is write-only: it cannot be read");
  // Other W1C fields go as 0, reserved and read-only bits as read; a
  // write-only register starts from its reset value.
  EXPECT_EQ(FieldWriteBase(map, 4), std::nullopt);
  EXPECT_EQ(ComposeFieldWrite(map, 4, *ctl.FindField("M"), 3, 0xF5), 0x73);
  EXPECT_EQ(ComposeFieldWrite(map, 4, *ctl.FindField("GO"), 1, 0x05), 0x85);
  EXPECT_EQ(ComposeFieldWrite(map, 5, kick, 5, *FieldWriteBase(map, 5)), 0x0A);
  std::vector<std::pair<int, int>> resets;
  for (const ResetValue& reset : ResetValues(map)) resets.emplace_back(reset.address, reset.value);
  EXPECT_EQ(resets, (std::vector<std::pair<int, int>>{{1, 0x40}, {5, 1}}));
  EXPECT_EQ(SkipFor(map, SequenceRule::Replay, 3), SkipReason::ReadOnly);
  EXPECT_EQ(SkipFor(map, SequenceRule::Replay, 1), std::nullopt);
}

// Random work for fixed seeds: reads, writes, Read All and Write All, bridges
// plugged and pulled (a second one waits for the first to leave), padded
// replies, and a fault planned for one exchange in three as its request goes
// out. Every exchange logs the line its fault calls for (no failure passes
// for a success), a read the value the chip held, with the cache in step; a
// write lands on the chip; a transaction with no transfer fails as one.
class Soak : public Bench {
 public:
  explicit Soak(std::uint32_t seed) : rng_(seed) {
    for (int address = 0; address < kRegisterCount; address += 0x11) map.RegisterNames[address] = "R";
    sim.OnNextTransfer([this] { OnTransfer(); });
  }

  void Act() {
    const int pick = Pick(12), address = Pick(256), value = Pick(256);
    const std::vector<int> plugged = sim.PluggedBridges();
    exchanges_.clear();
    Take();
    if (pick < 2 && plugged.size() < 2) {
      const int id = sim.Plug();
      for (int a = 0; a < kRegisterCount; ++a) sim.Bridge(id).SetRegister(a, Pick(256));
      // Alone on the bench, a bridge is taken once the session has seen it.
      if (Pick(2) == 0 && Pause(kSequencePauseMs) && plugged.empty()) {
        EXPECT_TRUE(engine.Session().Connected() && sim.HeldBridge() == id);
      }
    }
    if (pick == 2 && !plugged.empty()) sim.Unplug(plugged[Pick(2) % plugged.size()]);
    if (pick == 3) sim.SetPadReplies(padded_ = !padded_);
    if (pick == 4) static_cast<void>(Pause(kSequencePauseMs));
    if (pick < 5) return;
    Outcome outcome = NoBridge;
    if (pick >= 10) {
      outcome = pick == 10 ? engine.ReadAll() : engine.WriteAll();
    } else if (engine.BridgeConnected()) {
      outcome = pick < 8 ? engine.ReadRegister(address) : engine.WriteRegister(address, value);
    }
    Check(outcome);
  }

  int failures = 0;

 private:
  // An exchange's register, what the cache holds afterwards (for a write the
  // chip too), the outcome its fault calls for, and its log line.
  using Exchange = std::tuple<std::uint8_t, int, Outcome, std::string>;
  // The plans from kInfoIn on keep the reply from being fetched, those from
  // kFailOut on the request from reaching the chip.
  enum Plan { kNone, kStatus, kShorten, kLate, kUnplugIn, kInfoIn, kFailOut, kUnplugOut, kHang };

  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(rng_); }

  void OnTransfer() {
    sim.OnNextTransfer([this] { OnTransfer(); });
    const bool reply = sim.TransferPipe() == kInPipe;
    if (reply && !std::exchange(awaitingReply_, false)) return;  // a drain, perhaps of a bridge gone
    const int held = *sim.HeldBridge();  // a request and its reply reach the held bridge
    if (reply) {
      const auto& [address, cached, outcome, line] = exchanges_.back();
      EXPECT_TRUE(line[0] == 'R' || sim.Bridge(held).Register(address) == cached) << "not landed";
      if (plan_ == kUnplugIn) sim.Unplug(held);
      return;
    }
    const std::vector<std::uint8_t> request = sim.TransferBytes();
    const bool read = request[0] == kRequestRead;
    const std::uint8_t address = request[2], value = read ? sim.Bridge(held).Register(address) : request[3];
    const int status = Pick(256), cut = Pick(read ? 3 : 2);
    plan_ = Pick(3) == 0 ? static_cast<Plan>(1 + Pick(kHang)) : kNone;
    if (plan_ == kShorten && padded_) plan_ = kNone;  // padding would fill the reply up again
    const ReplyStatus said = plan_ == kStatus ? DecodeStatusByte(status) : ReplyStatus::Success;
    const bool lost = plan_ != kNone && plan_ != kStatus && (plan_ != kShorten || cut < (read ? 2 : 1));
    if (plan_ == kStatus) sim.ForceNextStatusByte(status);
    if (plan_ == kShorten) sim.ShortenNextReply(cut);
    if (plan_ == kLate) sim.AnswerNextReadLate();
    if (plan_ == kInfoIn) sim.FailNextDeviceInfo();
    if (plan_ == kFailOut) sim.FailNextTransfer(usb::kStatusIoError);
    if (plan_ == kUnplugOut) sim.Unplug(held);
    if (plan_ == kHang) sim.HangNextTransfer();
    if (plan_ == kHang && Pick(2) == 0) duringHang = [this, held] { sim.Unplug(held); };
    awaitingReply_ = plan_ < kInfoIn;
    const auto access = read ? logtext::Access::Read : logtext::Access::Write;
    exchanges_.emplace_back(address, read && (lost || said != ReplyStatus::Success) ? cache[address] : value,
                            lost ? TransferError : std::array{Ok, NoAck, I2cError}[static_cast<int>(said)],
                            lost ? logtext::TransferErrorLine(access, address)
                                 : logtext::TransactionLine(access, address, said, value));
  }

  // The action's transaction lines against its exchanges, and its outcome.
  void Check(Outcome outcome) {
    EXPECT_EQ(sim.OutstandingDeviceInfo(), 0);
    Outcome worst = Ok;
    std::size_t next = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
      line.pop_back();  // the CR
      if (line == "USB-to-I2C interface not detected. Please check connections.")
        worst = Worse(worst, NoBridge);
      if (next < exchanges_.size() && line == std::get<3>(exchanges_[next])) {
        const auto& [address, cached, expected, text] = exchanges_[next++];
        EXPECT_EQ(cache[address], cached);
        failures += expected == Ok ? 0 : 1;
        worst = Worse(worst, expected);
      } else if (line.find(" register 0x") == 7) {  // "Reading register 0x..", with no transfer of its own
        EXPECT_TRUE(line.ends_with(" failed: USB transfer error")) << line;
        worst = Worse(worst, TransferError);
      }
    }
    EXPECT_EQ(next, exchanges_.size()) << "an exchange without its line in\n" << log;
    EXPECT_EQ(outcome, worst);
  }

  std::mt19937 rng_;
  std::vector<Exchange> exchanges_;  // of the action under way
  Plan plan_ = kNone;
  bool awaitingReply_ = false, padded_ = false;
};

TEST(RegisterEngineSoakTest, NoFailurePassesForASuccessAndEveryValueIsTheChips) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    Soak soak(seed);
    for (int action = 0; action < 1000 && !HasFailure(); ++action) soak.Act();
    EXPECT_GT(soak.failures, 100);  // the run did work, and met faults
  }
}

}  // namespace
}  // namespace regdiag
