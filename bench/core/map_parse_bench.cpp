// Reading a register map: a full map of 32 pages x 6 registers with BITS
// lines, the sample map with and without its rules, long files of comment
// lines, and the address field alone.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <benchmark/benchmark.h>

#include "core/map/address_number.h"
#include "core/map/register_map.h"

namespace regdiag {
namespace {

// 32 pages of six registers, 192 registers in all, each with a BITS line.
// Addresses alternate between &H and decimal as hand-written maps do.
std::string FullMapText() {
  std::string text = "; generated map\r\nTITLEBAR,Bench Tool\r\nTITLE,Full Map\r\n";
  char line[96];
  for (int page = 0; page < kMaxPages; ++page) {
    text += "TABNAME,Page " + std::to_string(page + 1) + "\r\n";
    for (int row = 0; row < kRowsPerPage; ++row) {
      const int address = page * kRowsPerPage + row;
      std::snprintf(line, sizeof line, row % 2 == 0 ? "REG,&H%02X,REG_%03d\r\n" : "REG,%d,REG_%03d\r\n",
                    address, address);
      text += line;
      text += "BITS,EN,MODE1,MODE0,-,-,RANGE,SS1,SS0\r\n";
    }
  }
  return text;
}

void BM_ParseFullMap(benchmark::State& state) {
  const std::string text = FullMapText();
  for (auto _ : state) {
    RegisterMap map = ParseRegisterMap(text);
    benchmark::DoNotOptimize(map);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseFullMap);

// One page and then state.range(0) comment lines: the time per line should
// stay flat as the file grows.
void BM_ParseManyLines(benchmark::State& state) {
  std::string text = "TABNAME,Main\r\nREG,&H10,STATUS\r\n";
  for (std::int64_t line = 0; line < state.range(0); ++line) text += "; a note about the chip\r\n";
  for (auto _ : state) {
    RegisterMap map = ParseRegisterMap(text);
    benchmark::DoNotOptimize(map);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseManyLines)->RangeMultiplier(8)->Range(512, 1 << 18);

// The sample map (range 1), or the same without its ACCESS, RESET and FIELD
// lines (range 0): what the rules add to reading it.
void BM_ParseSampleMap(benchmark::State& state) {
  std::ifstream file(REGDIAG_SAMPLE_MAP, std::ios::binary);
  std::string text;
  for (std::string line; std::getline(file, line);) {
    const std::string keyword = line.substr(0, line.find(','));
    if (state.range(0) == 1 || (keyword != "ACCESS" && keyword != "RESET" && keyword != "FIELD")) text += line + "\n";
  }
  for (auto _ : state) {
    RegisterMap map = ParseRegisterMap(text);
    benchmark::DoNotOptimize(map);
  }
}
BENCHMARK(BM_ParseSampleMap)->ArgName("rules")->Arg(0)->Arg(1);

void BM_ReadAddressField(benchmark::State& state) {
  const char* const kFields[] = {"&H2F", "47", " 4 7 ", "47.5", "4.7e1", "&O57"};
  for (auto _ : state) {
    for (const char* field : kFields) {
      benchmark::DoNotOptimize(RoundAddressToInt16(ReadAddressNumber(field)));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(std::size(kFields)));
}
BENCHMARK(BM_ReadAddressField);

}  // namespace
}  // namespace regdiag
