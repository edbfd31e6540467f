// Cutting a file's bytes into lines. Every file the programs read (a register
// map, a snapshot, a saved log) ends its lines the same way: at CR LF, LF or
// a lone CR alike, so a file written on any system reads as it looks.
// Bytes that end with a line end give no empty last line; no bytes give no
// lines. Lines are views into the bytes, which must outlive the splitter.
//
// A value type: any thread, one splitter per thread.
#pragma once

#include <optional>
#include <string_view>

namespace regdiag {

class LineSplitter {
 public:
  explicit LineSplitter(std::string_view bytes) : rest_(bytes) {}

  // The next line without its end; empty once every line has been taken.
  [[nodiscard]] std::optional<std::string_view> Next();

 private:
  std::string_view rest_;
};

}  // namespace regdiag
