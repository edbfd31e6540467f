#include "core/map/register_snapshot.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/map/byte_number.h"
#include "core/map/name_text.h"
#include "core/text/hex_value.h"
#include "core/text/lines.h"

namespace regdiag {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Register names are told apart without regard to ASCII case, as everywhere.
bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, {}, LowerAscii, LowerAscii);
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(Trimmed(line.substr(start, comma - start)));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

std::string AddressText(std::uint8_t address) { return "0x" + HexByteText(address); }

std::optional<std::string> NameWarning(const SnapshotEntry& entry, const RegisterMap& map) {
  const std::string mapName = SnapshotName(map.RegisterNames[entry.address]);
  if (SameName(mapName, entry.name)) return std::nullopt;
  const std::string address = AddressText(entry.address);
  if (mapName.empty()) return "the map names no register " + address + ", the file calls it " + entry.name;
  const std::string fileName = entry.name.empty() ? "gives no name" : "calls it " + entry.name;
  return "the map calls register " + address + " " + mapName + ", the file " + fileName;
}

// Reads the lines of a snapshot one by one, after the header.
class SnapshotReader {
 public:
  explicit SnapshotReader(const RegisterMap& map) : map_(map) {}

  void Line(int number, std::string_view line) {
    if (line.empty() || line.front() == '#' || headerMissing_) return;
    // A name may hold any character but the line ends: whatever a map
    // names a register, save writes it and load reads it back.
    if (!IsUtf8(line)) return Error(number, "not UTF-8 text");
    if (!headerSeen_) {
      headerSeen_ = std::ranges::equal(Fields(line), Fields(kSnapshotHeader));
      headerMissing_ = !headerSeen_;
      if (headerMissing_) Error(number, "expected the header " + std::string(kSnapshotHeader));
      return;
    }
    Entry(number, Fields(line));
  }

  SnapshotRead Finish(int lineCount) {
    if (!headerSeen_ && !headerMissing_) {
      Error(lineCount + 1,
            "expected the header " + std::string(kSnapshotHeader) + ", found the end of the file");
    }
    if (!result_.errors.empty()) result_.entries.clear();
    std::ranges::sort(result_.entries, {}, &SnapshotEntry::address);
    return std::move(result_);
  }

 private:
  void Entry(int number, const std::vector<std::string_view>& fields) {
    if (fields.size() != 3) return Error(number, "expected three fields: " + std::string(kSnapshotHeader));
    const ByteNumber address = ReadByteNumber(fields[0]);
    if (address.reading != ByteNumber::Reading::Byte)
      return Error(number, RegisterAddressProblem(fields[0], address));
    const ByteNumber value = ReadByteNumber(fields[2]);
    if (value.reading != ByteNumber::Reading::Byte) return Error(number, ValueProblem(fields[2], value));
    int& first = firstLine_[static_cast<std::size_t>(address.value)];
    if (first != 0) {
      return Error(number, "register " + AddressText(static_cast<std::uint8_t>(address.value)) +
                               " given twice (first on line " + std::to_string(first) + ")");
    }
    first = number;
    SnapshotEntry entry{static_cast<std::uint8_t>(address.value), std::string(fields[1]),
                        static_cast<std::uint8_t>(value.value), number};
    if (std::optional<std::string> warning = NameWarning(entry, map_)) {
      result_.warnings.push_back({number, std::move(*warning)});
    }
    result_.entries.push_back(std::move(entry));
  }

  void Error(int number, std::string text) { result_.errors.push_back({number, std::move(text)}); }

  const RegisterMap& map_;
  bool headerSeen_ = false;
  bool headerMissing_ = false;  // nothing after a wrong header is judged
  std::array<int, kRegisterCount> firstLine_{};
  SnapshotRead result_;
};

}  // namespace

SnapshotRead ParseSnapshot(std::string_view bytes, const RegisterMap& map) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  SnapshotReader reader(map);
  int number = 0;
  LineSplitter lines(bytes);
  while (const std::optional<std::string_view> line = lines.Next()) reader.Line(++number, *line);
  return reader.Finish(number);
}

std::string SnapshotName(std::string_view mapName) {
  std::string name = NameUtf8(mapName);
  std::ranges::replace_if(
      name, [](char c) { return c == '\r' || c == '\n' || c == ','; }, ' ');
  return std::string(Trimmed(name));
}

std::vector<SnapshotEntry> SnapshotOfCache(const RegisterMap& map, const RegisterValueCache& cache) {
  std::vector<SnapshotEntry> entries;
  for (int address = 0; address < kRegisterCount; ++address) {
    if (map.RegisterNames[address].empty()) continue;
    entries.push_back({static_cast<std::uint8_t>(address), SnapshotName(map.RegisterNames[address]),
                       static_cast<std::uint8_t>(cache[address] & 0xFF), 0});
  }
  return entries;
}

std::string SnapshotText(std::span<const SnapshotEntry> entries) {
  std::string text = std::string(kSnapshotHeader) + "\n";
  for (const SnapshotEntry& entry : entries) {
    text += AddressText(entry.address) + "," + entry.name + ",0x" + HexByteText(entry.value) + "\n";
  }
  return text;
}

std::string WriteSnapshot(const RegisterMap& map, const RegisterValueCache& cache) {
  return SnapshotText(SnapshotOfCache(map, cache));
}

std::string NoteText(const SnapshotNote& note) {
  return "line " + std::to_string(note.line) + ": " + note.text;
}

}  // namespace regdiag
