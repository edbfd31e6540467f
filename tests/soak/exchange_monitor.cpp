#include "exchange_monitor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "link/usb_lib/sim_usb_library.h"
#include "transactions/core/bridge_packets.h"
#include "window/diag_window.h"

namespace regdiag::soak {

namespace {

// Statuses a failing transfer reports; the last one is no status the library
// knows.
constexpr std::array<usb::UsbStatus, 8> kFailures = {
    usb::kStatusIoError,  usb::kStatusStall,        usb::kStatusTimeout,   usb::kStatusNoDevice,
    usb::kStatusOverflow, usb::kStatusPipeNotFound, usb::kStatusCancelled, 0x2ABCDEF0,
};

// Bit 7 of the status byte means a general I2C error, else bit 6 no
// acknowledge; the other bits are not looked at.
Outcome OutcomeOfStatusByte(std::uint8_t status) {
  if ((status & 0x80) != 0) return Outcome::I2cError;
  if ((status & 0x40) != 0) return Outcome::NoAck;
  return Outcome::Success;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// A status as the log writes it: "&H" and upper-case hex digits.
std::string LogHex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "&H%X", value);
  return text;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Success:
      return "success";
    case Outcome::NoAck:
      return "no acknowledge";
    case Outcome::I2cError:
      return "I2C error";
    case Outcome::TransferError:
      return "USB transfer error";
  }
  return "?";
}

ExchangeMonitor::ExchangeMonitor(DiagWindow& window, usb::SimUsbLibrary& library, std::mt19937& rng,
                                 double faultRate)
    : window_(window), library_(library), rng_(rng), faultRate_(faultRate) {}

ExchangeMonitor::~ExchangeMonitor() { Stop(); }

void ExchangeMonitor::Start() {
  running_ = true;
  Arm();
}

void ExchangeMonitor::Stop() {
  if (!running_) return;
  running_ = false;
  library_.OnNextTransfer(nullptr);
}

void ExchangeMonitor::Arm() {
  library_.OnNextTransfer([this] { OnTransfer(); });
}

std::vector<Exchange> ExchangeMonitor::TakeExchanges() {
  CheckWriteLanded();
  return std::exchange(exchanges_, {});
}

std::vector<std::string> ExchangeMonitor::TakeProblems() { return std::exchange(problems_, {}); }

void ExchangeMonitor::Problem(const std::string& text) { problems_.push_back(text); }

std::string ExchangeMonitor::StatusText(std::uint32_t status) const {
  const std::string text = library_.UsbStatusString(status);
  return text.substr(0, text.find('\0'));
}

void ExchangeMonitor::OnTransfer() {
  if (!running_) return;
  Arm();  // the hook runs once: set it again for the next transfer first
  const std::uint32_t pipe = library_.TransferPipe();
  if (pipe == kOutPipe) {
    OnRequest();
  } else if (pipe == kInPipe) {
    // An IN transfer with no request waiting for its reply empties the pipe
    // after a failed exchange; it carries no exchange of its own.
    if (awaitingReply_) OnReply();
  } else {
    Problem("transfer on pipe " + Hex(pipe));
  }
}

void ExchangeMonitor::OnRequest() {
  CheckWriteLanded();
  awaitingReply_ = false;
  replyFault_ = Fault::None;
  ++exchangesSeen_;

  const std::vector<std::uint8_t>& packet = window_.Engine().Session().Transfer.TransferData;
  const auto length =
      static_cast<std::size_t>(std::max(window_.Engine().Session().Transfer.TransferLength, 0));
  const bool read = length == kReadRequestLength && packet.size() >= length && packet[0] == kRequestRead &&
                    packet[1] == kChipReadAddressByte;
  const bool write = length == kWriteRequestLength && packet.size() >= length && packet[0] == kRequestWrite &&
                     packet[1] == kChipWriteAddressByte;
  if (!read && !write) {
    Problem("a request that is neither a read nor a write of the chip went out");
    return;
  }
  Exchange exchange;
  exchange.access = read ? logtext::Access::Read : logtext::Access::Write;
  exchange.address = packet[2];
  exchange.data = write ? packet[3] : 0;
  exchange.logOffset = window_.LogContents().size();

  // The transfer goes to the handle the window holds; it only arrives when
  // that is the bridge the library counts as held and it is still plugged.
  const std::optional<int> held = library_.HeldBridge();
  if (!held || library_.HandleOf(*held) != window_.Context.deviceHandle) {
    exchange.expected = Outcome::TransferError;
    exchange.fault = "no bridge behind the handle";
    exchanges_.push_back(exchange);
    return;
  }
  exchange.chipValue = library_.Bridge(*held).Register(exchange.address);
  PlanFault(exchange, *held);
  exchanges_.push_back(exchange);
}

void ExchangeMonitor::PlanFault(Exchange& exchange, int bridge) {
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  Fault fault = Fault::None;
  if (chance(rng_) < faultRate_) {
    fault =
        static_cast<Fault>(std::uniform_int_distribution<int>(1, static_cast<int>(Fault::UnplugAtIn))(rng_));
  }
  const usb::UsbStatus failure =
      kFailures[std::uniform_int_distribution<std::size_t>(0, kFailures.size() - 1)(rng_)];
  const bool isRead = exchange.access == logtext::Access::Read;
  exchange.expected = Outcome::Success;
  switch (fault) {
    case Fault::None:
      break;
    case Fault::FailOut:
      library_.FailNextTransfer(failure);
      exchange.fault = "request transfer fails with " + Hex(failure);
      break;
    case Fault::TimeOutOut:
      library_.TimeOutNextTransfer();
      exchange.fault = "request transfer times out";
      break;
    case Fault::UnplugAtOut:
      library_.Unplug(bridge);
      exchange.fault = "bridge unplugged as the request goes out";
      break;
    case Fault::ForceStatus: {
      const auto status = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
      library_.ForceNextStatusByte(status);
      exchange.expected = OutcomeOfStatusByte(status);
      exchange.fault = "status byte forced to " + Hex(status);
      break;
    }
    case Fault::ShortenReply: {
      const int needed = isRead ? kReadReplyNeeded : kWriteReplyNeeded;
      const int bytes = std::uniform_int_distribution<int>(0, needed)(rng_);
      library_.ShortenNextReply(static_cast<std::size_t>(bytes));
      if (bytes < needed) exchange.expected = Outcome::TransferError;
      exchange.fault = "reply cut to " + std::to_string(bytes) + " bytes";
      break;
    }
    case Fault::FailDeviceInfoIn:
      // The reply half asks for the device information first.
      library_.FailNextDeviceInfo(failure);
      exchange.fault = "device information for the reply fails with " + Hex(failure);
      break;
    case Fault::FailIn:
    case Fault::TimeOutIn:
    case Fault::UnplugAtIn:
      exchange.fault = fault == Fault::FailIn      ? "reply transfer fails with " + Hex(failure)
                       : fault == Fault::TimeOutIn ? "reply transfer times out"
                                                   : "bridge unplugged as the reply is fetched";
      break;
  }
  if (fault != Fault::None && fault != Fault::ForceStatus && fault != Fault::ShortenReply) {
    exchange.expected = Outcome::TransferError;
  }
  // A failed transfer is logged with its status, then the pipe's failure.
  const auto transferFailed = [this](const char* pipe, std::uint32_t status) {
    const std::string name = pipe;
    return std::vector<std::string>{
        name + "Pipe: UsbTransfer() failed: error " + LogHex(status) + " (" + StatusText(status) + ")",
        name + " Pipe failed"};
  };
  switch (fault) {
    case Fault::FailOut:
      exchange.linesBefore = transferFailed("Write", failure);
      break;
    case Fault::TimeOutOut:
      exchange.linesBefore = transferFailed("Write", usb::kStatusTimeout);
      break;
    case Fault::UnplugAtOut:
      exchange.linesBefore = transferFailed("Write", usb::kStatusNoDevice);
      break;
    case Fault::FailIn:
      exchange.linesBefore = transferFailed("Read", failure);
      break;
    case Fault::TimeOutIn:
      exchange.linesBefore = transferFailed("Read", usb::kStatusTimeout);
      break;
    case Fault::UnplugAtIn:
      exchange.linesBefore = transferFailed("Read", usb::kStatusNoDevice);
      break;
    case Fault::FailDeviceInfoIn:
      exchange.linesBefore =
          std::vector<std::string>{"ReadPipe: UsbGetDeviceInfo() failed:",
                                   "error " + LogHex(failure) + " (" + StatusText(failure) + ")", ""};
      break;
    default:
      exchange.linesBefore = std::vector<std::string>{};
      break;
  }
  if (fault != Fault::None) ++faults_;

  const bool requestArrives =
      fault != Fault::FailOut && fault != Fault::TimeOutOut && fault != Fault::UnplugAtOut;
  awaitingReply_ = requestArrives;
  replyFault_ = fault;
  replyFailure_ = failure;
  replyBridge_ = bridge;
  if (requestArrives && !isRead) pendingWrite_ = PendingWrite{bridge, exchange.address, exchange.data};
}

void ExchangeMonitor::OnReply() {
  if (!awaitingReply_) {
    Problem("a reply was fetched for a request that did not go out");
    return;
  }
  awaitingReply_ = false;
  CheckWriteLanded();
  switch (replyFault_) {
    case Fault::FailIn:
      library_.FailNextTransfer(replyFailure_);
      break;
    case Fault::TimeOutIn:
      library_.TimeOutNextTransfer();
      break;
    case Fault::UnplugAtIn:
      library_.Unplug(replyBridge_);
      break;
    default:
      break;
  }
  replyFault_ = Fault::None;
}

void ExchangeMonitor::CheckWriteLanded() {
  if (!pendingWrite_) return;
  const PendingWrite write = *std::exchange(pendingWrite_, std::nullopt);
  const std::vector<int> plugged = library_.PluggedBridges();
  if (std::find(plugged.begin(), plugged.end(), write.bridge) == plugged.end()) return;  // gone with its chip
  const std::uint8_t now = library_.Bridge(write.bridge).Register(write.address);
  if (now != write.data) {
    Problem("register " + Hex(write.address) + " holds " + Hex(now) + " after " + Hex(write.data) +
            " was written to it");
  }
}

}  // namespace regdiag::soak
