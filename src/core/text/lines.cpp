#include "core/text/lines.h"

#include <cstring>

namespace regdiag {
namespace {

// Where `c` first stands in bytes[from, to), or `to`.
std::size_t Find(std::string_view bytes, char c, std::size_t from, std::size_t to) {
  const void* found = std::memchr(bytes.data() + from, c, to - from);
  return found == nullptr ? to : static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
}

}  // namespace

std::optional<std::string_view> LineSplitter::Next() {
  if (start_ >= bytes_.size()) return std::nullopt;
  // memchr rather than a search for either end byte by byte: a long map is
  // cut as fast as it is read.
  if (pastLf_ <= start_) pastLf_ = Find(bytes_, '\n', start_, bytes_.size()) + 1;
  const std::size_t lf = pastLf_ - 1;
  const std::size_t end = Find(bytes_, '\r', start_, lf);
  const std::string_view line = bytes_.substr(start_, end - start_);
  if (end == bytes_.size()) {
    start_ = end;
  } else {
    const bool crLf = bytes_[end] == '\r' && end + 1 == lf;
    start_ = end + (crLf ? 2 : 1);
  }
  return line;
}

}  // namespace regdiag
