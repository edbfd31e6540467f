// Cutting a file's bytes into lines. Every file the programs read (a register
// map, a snapshot, a saved log) ends its lines the same way: at CR LF, LF or
// a lone CR alike, so a file written on any system reads as it looks.
// Bytes that end with a line end give no empty last line; no bytes give no
// lines. Lines are views into the bytes, which must outlive the splitter.
//
// A value type: any thread, one splitter per thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace regdiag {

class LineSplitter {
 public:
  explicit LineSplitter(std::string_view bytes) : bytes_(bytes) {}

  // The next line without its end; empty once every line has been taken.
  [[nodiscard]] std::optional<std::string_view> Next();

 private:
  std::string_view bytes_;
  // Where the next line starts.
  std::size_t start_ = 0;
  // One past the first LF at or after start_ (one past the size when there
  // is none), 0 before the first search. Searched again only once passed,
  // so that a file of lone CRs is still read in one pass.
  std::size_t pastLf_ = 0;
};

}  // namespace regdiag
