#include "cli/console_log.h"

#include "cli/terminal_text.h"
#include "core/files/file_write.h"

namespace regdiag::cli {

ConsoleLog::~ConsoleLog() { static_cast<void>(Close()); }

void ConsoleLog::ToStderr() { out_ = stderr; }

bool ConsoleLog::ToFile(const std::filesystem::path& path, std::string& reason) {
  out_ = OpenFileStream(path, reason);
  ownsFile_ = out_ != nullptr;
  return ownsFile_;
}

void ConsoleLog::Append(std::string_view text, std::string_view suffix) {
  if (out_ == nullptr) return;
  if (held_) {
    heldText_.append(text).append(suffix);
    return;
  }
  Emit(text);
  Emit(suffix);
}

void ConsoleLog::Clear() { heldText_.clear(); }

void ConsoleLog::Release() {
  held_ = false;
  Emit(heldText_);
  heldText_.clear();
}

void ConsoleLog::Emit(std::string_view text) {
  if (out_ == nullptr || text.empty()) return;
  if (ownsFile_) {
    std::fwrite(text.data(), 1, text.size(), out_);
    return;
  }
  // A terminal's lines end with LF alone.
  std::string lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t cr = text.find("\r\n", start);
    lines.append(text.substr(start, cr - start));
    if (cr == std::string_view::npos) break;
    lines += '\n';
    start = cr + 2;
  }
  Output(out_, lines);
}

bool ConsoleLog::Close() {
  if (held_) Release();  // a start-up that was interrupted still shows
  if (!ownsFile_) return true;
  ownsFile_ = false;
  const bool written = std::ferror(out_) == 0;
  const bool closed = std::fclose(out_) == 0;
  out_ = nullptr;
  return written && closed;
}

}  // namespace regdiag::cli
