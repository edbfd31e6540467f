#include "backends/sim/virtual_bridge.h"

#include <algorithm>
#include <array>
#include <utility>

namespace regdiag::usb {

namespace {

constexpr std::uint8_t kRequestWrite = 0x00;
constexpr std::uint8_t kRequestRead = 0x01;
constexpr std::uint8_t kChipWriteAddressByte = 0x5A;  // I2C address 0x2D, write
constexpr std::uint8_t kChipReadAddressByte = 0x5B;   // I2C address 0x2D, read
constexpr std::size_t kReadRequestSize = 3;
constexpr std::size_t kWriteRequestSize = 4;

// Named power-on values of the demonstration chip; every other register
// gets a fixed pattern.
struct DemoRegister {
  std::uint8_t address;
  std::uint8_t value;
};
constexpr DemoRegister kDemoRegisters[] = {
    {0x00, 0xA7},  // chip identification
    {0x01, 0x12},  // silicon revision
    {0x02, 0x03},  // trim table revision
    {0x03, 0x1C},  // operating mode
    {0x04, 0x80},  // output enable
    {0x05, 0x00},  // interrupt flags: none pending after power-on
    {0x06, 0x00},  // error flags: none
    {0x07, 0x3F},  // interrupt mask
    {0x10, 0x64},  // low threshold
    {0x11, 0xC8},  // high threshold
    {0x12, 0x0A},  // hysteresis
    {0x13, 0x05},  // debounce count
    {0x20, 0x7F},  // gain
    {0x21, 0x40},  // offset
    {0xFE, 0x55},  // scratch
    {0xFF, 0xAA},  // scratch
};

}  // namespace

VirtualBridge::VirtualBridge() = default;

void VirtualBridge::HandleRequest(std::span<const std::uint8_t> request) {
  ++requestCount_;
  // An empty packet or an unknown request code gets the general error.
  std::vector<std::uint8_t> reply{kStatusGeneralError};
  const int code = request.empty() ? -1 : request[0];
  if (code == kRequestRead) {
    if (request.size() < kReadRequestSize) {
      reply = {kStatusGeneralError};
    } else if (request[1] != kChipReadAddressByte) {
      reply = {kStatusNoAck, 0x00};
    } else {
      reply = {kStatusOk, Read(request[2])};
    }
  } else if (code == kRequestWrite) {
    if (request.size() < kWriteRequestSize) {
      reply = {kStatusGeneralError};
    } else if (request[1] != kChipWriteAddressByte) {
      reply = {kStatusNoAck};
    } else {
      Write(request[2], request[3]);
      reply = {kStatusOk};
    }
  }

  // Injected faults change only what the reply says: a write with a forced
  // error status has still reached the chip.
  if (forcedStatus_) {
    reply[0] = *std::exchange(forcedStatus_, std::nullopt);
  }
  if (shortReply_) {
    reply.resize(std::min(reply.size(), *std::exchange(shortReply_, std::nullopt)));
  }
  replies_.push_back(std::move(reply));
}

std::vector<std::uint8_t> VirtualBridge::TakeReply() {
  if (replies_.empty()) return {};
  std::vector<std::uint8_t> reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

std::uint8_t VirtualBridge::Read(std::uint8_t address) {
  const ChipRule& rule = rules_[address];
  const auto value = static_cast<std::uint8_t>(registers_[address] & ~rule.hidden);
  if (rule.clearsOnRead) registers_[address] = rule.afterRead;
  return value;
}

void VirtualBridge::Write(std::uint8_t address, std::uint8_t data) {
  const ChipRule& rule = rules_[address];
  const std::uint8_t old = registers_[address];
  const std::uint8_t written = rule.keep | rule.w1c;
  registers_[address] =
      static_cast<std::uint8_t>((old & rule.keep) | (data & ~written) | (old & rule.w1c & ~data));
}

ChipRules ChipRulesOf(const RegisterMap& map) {
  ChipRules rules{};
  for (std::size_t address = 0; address < rules.size(); ++address) {
    const RegisterRules& given = map.RulesOf(static_cast<int>(address));
    const AccessMasks masks = given.Masks();
    ChipRule& rule = rules[address];
    rule.keep = masks.ro;
    rule.w1c = masks.w1c;
    rule.hidden = given.access == RegisterAccess::WO ? 0xFF : masks.wo;
    rule.clearsOnRead = given.access == RegisterAccess::RC;
    rule.afterRead = given.reset.value_or(0);
  }
  return rules;
}

std::uint8_t VirtualBridge::UnheldValue() const {
  std::array<bool, 256> held{};
  for (const std::uint8_t value : registers_) held[value] = true;
  for (std::size_t value = 0; value < held.size(); ++value) {
    if (!held[value]) return static_cast<std::uint8_t>(value);
  }
  return static_cast<std::uint8_t>(~registers_[0]);
}

void VirtualBridge::LoadDemoValues() {
  for (std::size_t address = 0; address < registers_.size(); ++address) {
    registers_[address] = static_cast<std::uint8_t>(address * 0x4D + 0x1B);
  }
  for (const DemoRegister& demo : kDemoRegisters) {
    registers_[demo.address] = demo.value;
  }
}

}  // namespace regdiag::usb
