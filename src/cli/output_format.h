// What regdiag-cli prints on stdout: register lines, dumps and differences.
// Names are the map's, as UTF-8; a register the map does not name shows as
// "-". A bit counts as named when the map gives it a name other than "-",
// which maps use for an unused bit.
//
// Plain functions with no state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/map/register_map.h"

namespace regdiag::cli {

// The values known for each address; empty where none is.
using RegisterValues = std::array<std::optional<std::uint8_t>, kRegisterCount>;

enum class DumpFormat { Text, Csv, Json };

// "0x12 SYS_CTRL 0x05" and a line end.
[[nodiscard]] std::string RegisterLine(const RegisterMap& map, std::uint8_t address, std::uint8_t value);

// "0x01 SYS_CTRL.CLKSEL 2 PLL": the field's value in decimal, then its label
// if it has one, and a line end.
[[nodiscard]] std::string FieldReadLine(const RegisterMap& map, std::uint8_t address,
                                        const RegisterField& field, std::uint8_t value);

// Every known value in address order, with its fields in place of the bits
// they cover and its named bits (CLKSEL=2(PLL) as a field shows):
//  text  0x01 SYS_CTRL 0x05 RESET=0 SLEEP=0 CLKSEL1=0 CLKSEL0=1 ADC_EN=0 PWR_EN=1
//  csv   address,name,value,bits / 0x01,SYS_CTRL,0x05,RESET=0 SLEEP=0 ...
//  json  [{"address": 1, "name": "SYS_CTRL", "value": 5,
//          "access": "RW", "reset": 2 (only when the map gives one),
//          "bits": [{"bit": 7, "name": "RESET", "value": 0}, ...],
//          "fields": [{"name": "CLKSEL", "msb": 3, "lsb": 2, "value": 2,
//                      "label": "PLL" or null, "access": "RW"}, ...]}, ...]
//        (a register the map does not name has the name null), indented
//        by two blanks a level.
[[nodiscard]] std::string DumpText(const RegisterMap& map, const RegisterValues& values, DumpFormat format);

// The name of every register the map names, in address order, one per line.
[[nodiscard]] std::string NamesText(const RegisterMap& map);

// One line per register whose values differ (or that only one side holds,
// "--" on the other), with the fields and named bits that differ:
//  0x01 SYS_CTRL 0x05 0x0B CLKSEL:1(EXTERNAL)->2(PLL) ADC_EN:0->1
[[nodiscard]] std::string DiffText(const RegisterMap& map, const RegisterValues& a, const RegisterValues& b);

}  // namespace regdiag::cli
