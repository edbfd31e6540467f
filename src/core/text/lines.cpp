#include "core/text/lines.h"

namespace regdiag {

std::optional<std::string_view> LineSplitter::Next() {
  if (rest_.empty()) return std::nullopt;
  const std::size_t at = rest_.find_first_of("\r\n");
  const std::string_view line = rest_.substr(0, at);
  if (at == std::string_view::npos) {
    rest_ = {};
  } else {
    const bool crLf = rest_[at] == '\r' && at + 1 < rest_.size() && rest_[at + 1] == '\n';
    rest_.remove_prefix(at + (crLf ? 2 : 1));
  }
  return line;
}

}  // namespace regdiag
