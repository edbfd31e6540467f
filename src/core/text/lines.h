// Cutting a file's bytes into lines. Each kind of file keeps its own rule for
// what ends a line:
//   CrLf      only the two bytes CR LF (a register map): a lone CR or LF is
//             part of the line;
//   LfOrCrLf  LF, and a CR just before it is dropped with it (snapshots,
//             saved logs): a CR at the end of a line is never part of it.
// Bytes that end with a line end give no empty last line; no bytes give no
// lines. Lines are views into the bytes, which must outlive the splitter.
//
// A value type: any thread, one splitter per thread.
#pragma once

#include <optional>
#include <string_view>

namespace regdiag {

enum class LineEnds { CrLf, LfOrCrLf };

class LineSplitter {
 public:
  LineSplitter(std::string_view bytes, LineEnds ends) : rest_(bytes), ends_(ends) {}

  // The next line without its end; empty once every line has been taken.
  [[nodiscard]] std::optional<std::string_view> Next();

 private:
  std::string_view rest_;
  LineEnds ends_;
};

}  // namespace regdiag
