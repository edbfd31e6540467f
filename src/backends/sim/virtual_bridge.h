// A virtual USB-to-I2C bridge with a virtual chip of 256 8-bit registers at
// I2C address 0x2D behind it. It decodes the request packets sent on the OUT
// pipe and queues their replies for the IN pipe, in order. Shared by
// the simulated backend and by test fixtures that emulate a device below
// libusb. Not thread-safe: the owner serialises access.
//
// The chip is plain memory until it is given the access rules of a map.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "core/map/register_map.h"

namespace regdiag::usb {

// How each register of the virtual chip answers, from a map's access rules.
struct ChipRule {
  std::uint8_t keep = 0;      // bits a write leaves as they are (read-only)
  std::uint8_t w1c = 0;       // bits a written 1 clears and a written 0 leaves
  std::uint8_t hidden = 0;    // bits that read back 0 (write-only)
  bool clearsOnRead = false;  // an RC register: after a read it holds afterRead
  std::uint8_t afterRead = 0;
};
using ChipRules = std::array<ChipRule, 256>;

// The rules a map gives: an RO bit ignores writes; an RC register returns its
// value, then clears to its reset value (0 without one); a W1C bit clears
// when written 1; a WO register, or WO bit, reads back 0. A map without
// ACCESS and FIELD lines gives plain memory.
[[nodiscard]] ChipRules ChipRulesOf(const RegisterMap& map);

class VirtualBridge {
 public:
  // Status bytes the bridge answers with.
  static constexpr std::uint8_t kStatusOk = 0x00;
  static constexpr std::uint8_t kStatusNoAck = 0x40;
  static constexpr std::uint8_t kStatusGeneralError = 0x80;

  VirtualBridge();

  // Takes one request packet from the OUT pipe.
  //  read:  0x01, 0x5B, register            -> reply status, value (2 bytes)
  //  write: 0x00, 0x5A, register, data       -> reply status (1 byte)
  // Another I2C address byte gets the no-acknowledge status, an unknown
  // request code or a packet too short for its code the general-error
  // status. The bridge answers in order: a reply that was never collected
  // stays ahead of the next one.
  void HandleRequest(std::span<const std::uint8_t> request);

  // The oldest reply waiting for the IN pipe, if any; collecting it removes it.
  [[nodiscard]] bool HasReply() const { return !replies_.empty(); }
  [[nodiscard]] std::vector<std::uint8_t> TakeReply();
  // A byte that no register holds now, when there is one (else the inverse
  // of register 0's): the value of a reply nobody asked for, so that a read
  // that showed it would stand out.
  [[nodiscard]] std::uint8_t UnheldValue() const;

  // Fault injection: the next reply carries this status byte instead of the
  // real one (a read still returns the register value). One-shot.
  void ForceNextStatus(std::uint8_t status) { forcedStatus_ = status; }
  // The next reply is cut to this many bytes. One-shot.
  void ShortenNextReply(std::size_t bytes) { shortReply_ = bytes; }

  [[nodiscard]] std::uint8_t Register(std::uint8_t address) const { return registers_[address]; }
  void SetRegister(std::uint8_t address, std::uint8_t value) { registers_[address] = value; }
  // Believable power-on values for a demonstration chip.
  void LoadDemoValues();
  void FollowRules(const ChipRules& rules) { rules_ = rules; }

  // Requests handled so far (for tests).
  [[nodiscard]] std::uint64_t RequestCount() const { return requestCount_; }

 private:
  std::uint8_t Read(std::uint8_t address);
  void Write(std::uint8_t address, std::uint8_t data);

  std::array<std::uint8_t, 256> registers_{};
  ChipRules rules_{};
  std::deque<std::vector<std::uint8_t>> replies_;
  std::optional<std::uint8_t> forcedStatus_;
  std::optional<std::size_t> shortReply_;
  std::uint64_t requestCount_ = 0;
};

}  // namespace regdiag::usb
