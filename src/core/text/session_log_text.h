// The session log's text: entries appended at the end, each ending CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace regdiag {

inline constexpr std::string_view kCrLf = "\r\n";

// Holds the log as one string. An append costs the length of the entry, not
// of the log, so a long session stays fast.
class SessionLogText {
 public:
  void Append(std::string_view text, std::string_view suffix);
  void Clear() { text_.clear(); }
  [[nodiscard]] const std::string& Text() const { return text_; }
  [[nodiscard]] std::size_t Length() const { return text_.size(); }

 private:
  std::string text_;
};

}  // namespace regdiag
