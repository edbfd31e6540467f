// Importing a register description in the SVD format (CMSIS-SVD, the XML
// that debuggers' register viewers read) as a map with fields, access rules
// and reset values. The XML is read with pugixml; nothing here knows files
// or the terminal.
//
//   ImportSvd(xml, {})          every peripheral
//   ImportSvd(xml, {"ADC"})     only ADC
//
// A register gets one byte address: base + cluster offset + offset, 0..255.
// 8-bit registers are taken as they are, 16-bit ones as NAME_L and NAME_H
// (NAME_H first on a big-endian device); anything else, or anything out of
// range, is left out with a warning. derivedFrom and dim arrays are
// followed; an element that cannot be taken is an error naming it and its
// line.
//
// Plain functions with no state: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace regdiag::cli {

// The part of an SVD that becomes a map, after inheritance and arrays.
struct SvdValue {
  std::uint64_t value = 0;
  std::string label;
};

struct SvdField {
  std::string name;
  int msb = 0;
  int lsb = 0;
  std::string access;  // RO, WO, RW, W1C; empty: the register's
  std::vector<SvdValue> values;
};

struct SvdRegister {
  std::string peripheral;
  std::string name;
  std::uint64_t address = 0;  // of its first byte
  std::string access;         // RO, WO, RW, RC
  std::optional<std::uint8_t> reset;
  std::vector<SvdField> fields;  // bits 7..0 of this byte
};

struct SvdDevice {
  std::string name;
  std::string description;
  std::vector<std::string> peripherals;  // in file order
  std::vector<SvdRegister> registers;    // one byte each
};

struct SvdImport {
  std::string mapText;  // empty on an error
  std::vector<std::string> warnings;
  std::string error;  // why nothing can be written; empty when it went well
};

// Reads the XML into byte registers; `error` says what could not be read.
[[nodiscard]] SvdDevice ReadSvd(std::string_view xml, std::span<const std::string> peripherals,
                                std::vector<std::string>& warnings, std::string& error);

// The map of a device read by ReadSvd: names made unique, pages of six.
[[nodiscard]] std::string SvdMapText(const SvdDevice& device, std::vector<std::string>& warnings,
                                     std::string& error);

// Both: the map, or the error with nothing to write.
[[nodiscard]] SvdImport ImportSvd(std::string_view xml, std::span<const std::string> peripherals);

}  // namespace regdiag::cli
