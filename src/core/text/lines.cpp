#include "core/text/lines.h"

namespace regdiag {

std::optional<std::string_view> LineSplitter::Next() {
  if (rest_.empty()) return std::nullopt;
  const std::string_view end = ends_ == LineEnds::CrLf ? "\r\n" : "\n";
  const std::size_t at = rest_.find(end);
  std::string_view line = rest_.substr(0, at);
  rest_ = at == std::string_view::npos ? std::string_view{} : rest_.substr(at + end.size());
  if (ends_ == LineEnds::LfOrCrLf && line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

}  // namespace regdiag
