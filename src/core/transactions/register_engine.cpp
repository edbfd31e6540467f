// Exchanges with the bridge and single register transactions.
#include "core/transactions/register_engine.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/text/link_log_text.h"
#include "core/transactions/bridge_packets.h"

namespace regdiag {

RegisterEngine::RegisterEngine(usb::UsbLibrary& library, const RegisterMap& map, RegisterValueCache& cache,
                               LogSink& log, Waiter& waiter, std::function<void()> wake, Hooks hooks)
    : session_(library, log, waiter, std::move(wake)),
      map_(map),
      cache_(cache),
      waiter_(waiter),
      hooks_(std::move(hooks)) {}

bool RegisterEngine::BridgeConnected() {
  if (session_.Connected()) return true;
  if (hooks_.notConnected) hooks_.notConnected();
  session_.LogLine(logtext::kNotDetected);
  return false;
}

RegisterEngine::Reply RegisterEngine::Exchange(std::span<const std::uint8_t> request,
                                               std::int32_t replyLength, std::size_t replyBufferSize) {
  // Replies carry no address: one that came too late would pass for the
  // answer to this request.
  DrainIfStale();
  Reply reply;
  // A request that was not sent gets no reply: asking for one would only
  // wait out the time-out.
  if (session_.WritePipe(kOutPipe, request)) {
    reply.data.assign(replyBufferSize, 0);
    const std::optional<std::uint32_t> moved = session_.ReadPipe(kInPipe, reply.data, replyLength);
    if (moved && *moved > 0) {
      if (StrayPacketFollows()) return reply;  // which of the two answers this request is unknown
      reply.outcome = Outcome::Ok;
      reply.bytes = std::min<std::uint32_t>(*moved, static_cast<std::uint32_t>(reply.data.size()));
      return reply;
    }
  }
  if (session_.LastStatus() == usb::kStatusTimeout) StartWatch();
  reply.outcome = waiter_.Cancelled() ? Outcome::Cancelled : Outcome::TransferError;
  if (reply.outcome == Outcome::TransferError) drainFirst_ = true;
  return reply;
}

void RegisterEngine::DrainIfStale() {
  // A bridge just claimed may hold a reply from before: an earlier run quit
  // or killed during a transfer, or another program.
  if (session_.Claims() != drainedClaims_) {
    drainedClaims_ = session_.Claims();
    drainFirst_ = true;
  }
  if (std::exchange(drainFirst_, false) && session_.DrainPipe(kInPipe) > 0) StartWatch();
}

bool RegisterEngine::StrayPacketFollows() {
  if (!watchUntil_ || Now() >= *watchUntil_) return false;
  if (!session_.PacketFollows(kInPipe, kFollowUpWaitMs)) return false;
  static_cast<void>(session_.DrainPipe(kInPipe));
  StartWatch();
  return true;
}

std::chrono::steady_clock::time_point RegisterEngine::Now() const {
  return hooks_.now ? hooks_.now() : std::chrono::steady_clock::now();
}

Outcome RegisterEngine::ReadRegister(std::uint8_t address, const std::function<void(std::uint8_t)>& show) {
  if (Busy()) return Outcome::Busy;
  if (!OnSequenceBridge()) return Failed(logtext::Access::Read, address, Outcome::TransferError);
  const Reply reply = Exchange(ReadRequest(address), kReadReplyLength, kReadReplyBufferSize);
  if (reply.outcome != Outcome::Ok) return Failed(logtext::Access::Read, address, reply.outcome);
  const ReplyStatus status = DecodeStatusByte(reply.data[0]);
  if (reply.bytes < kReadReplyNeeded) {
    // The status byte alone: a failure it names is reported as that failure;
    // a success without its value is no answer, and the value may still
    // come in a packet of its own. Row and cache stay.
    if (status == ReplyStatus::Success) {
      drainFirst_ = true;
      return Failed(logtext::Access::Read, address, Outcome::TransferError);
    }
    return Finish(logtext::Access::Read, address, status);
  }
  // A failure's value byte is nobody's value: row and cache keep theirs.
  if (status == ReplyStatus::Success) {
    const std::uint8_t value = reply.data[1];
    if (show) show(value);
    cache_.Store(address, value);
  }
  return Finish(logtext::Access::Read, address, status);
}

Outcome RegisterEngine::WriteRegister(std::uint8_t address, std::uint8_t data) {
  if (Busy()) return Outcome::Busy;
  if (!OnSequenceBridge()) return Failed(logtext::Access::Write, address, Outcome::TransferError);
  cache_.Store(address, data);
  // The length asked for with the reply stays the request's.
  const Reply reply = Exchange(WriteRequest(address, data), kWriteRequestLength, kWriteReplyBufferSize);
  if (reply.outcome != Outcome::Ok) return Failed(logtext::Access::Write, address, reply.outcome);
  return Finish(logtext::Access::Write, address, DecodeStatusByte(reply.data[0]));
}

Outcome RegisterEngine::Finish(logtext::Access access, std::uint8_t address, ReplyStatus status) {
  session_.LogLine(logtext::TransactionLine(access, address, status, cache_[address]));
  switch (status) {
    case ReplyStatus::Success:
      return Outcome::Ok;
    case ReplyStatus::NoAck:
      return Outcome::NoAck;
    case ReplyStatus::I2cError:
      break;
  }
  return Outcome::I2cError;
}

Outcome RegisterEngine::Failed(logtext::Access access, std::uint8_t address, Outcome outcome) {
  if (outcome == Outcome::TransferError) session_.LogLine(logtext::TransferErrorLine(access, address));
  return outcome;
}

Outcome Worse(Outcome current, Outcome next) { return current != Outcome::Ok ? current : next; }

}  // namespace regdiag
