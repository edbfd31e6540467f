#include "core/files/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>
#include <system_error>

#include "core/files/file_descriptor.h"

namespace regdiag {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;

FileRead NotFound() { return FileRead{FileRead::Outcome::NotFound, {}, {}}; }

FileRead Unreadable(std::string reason) {
  return FileRead{FileRead::Outcome::Unreadable, {}, std::move(reason)};
}

bool IsNotFoundError(int error) { return error == ENOENT || error == ENOTDIR; }

// What is wrong with reading a file of this kind and size; empty when nothing.
std::string TooLarge(std::size_t most) { return "larger than " + std::to_string(most >> 20) + " MiB"; }

std::string KindProblem(const struct stat& info, std::size_t most) {
  if (S_ISDIR(info.st_mode)) return "is a directory";
  if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) return "not a regular file";
  if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > most) return TooLarge(most);
  return {};
}

// Opens a regular file or a FIFO for reading; anything else, or a failure,
// leaves `problem` saying why.
std::optional<int> OpenToRead(const std::filesystem::path& path, FileRead& problem, std::size_t most) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    problem = IsNotFoundError(errno) ? NotFound() : Unreadable(SystemReason(errno));
    return std::nullopt;
  }
  if (std::string kind = KindProblem(info, most); !kind.empty()) {
    problem = Unreadable(std::move(kind));
    return std::nullopt;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  // Checked again on the open file: the name may have been replaced since.
  if (fd >= 0 && ::fstat(fd, &info) == 0 && !KindProblem(info, most).empty()) {
    problem = Unreadable(KindProblem(info, most));
    ::close(fd);
    return std::nullopt;
  }
  if (fd < 0) problem = IsNotFoundError(errno) ? NotFound() : Unreadable(SystemReason(errno));
  return fd < 0 ? std::nullopt : std::optional<int>(fd);
}

// Reads the open file chunk by chunk into `take` until the end; a failure or
// `take` returning false ends it with the reason in `problem`.
bool ReadChunks(FileDescriptor& file, const std::function<bool(std::string_view)>& take) {
  std::array<char, kChunkBytes> chunk{};
  for (;;) {
    const ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
    if (count == 0) return true;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    if (!take(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) return true;
  }
}

}  // namespace

std::string SystemReason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string FileRead::Problem() const {
  switch (outcome) {
    case Outcome::Loaded:
      break;
    case Outcome::NotFound:
      return "no such file";
    case Outcome::Unreadable:
      return reason;
  }
  return {};
}

FileRead ReadFileWhole(const std::filesystem::path& path, std::size_t most) {
  FileRead result{FileRead::Outcome::Loaded, {}, {}};
  const std::optional<int> fd = OpenToRead(path, result, most);
  if (!fd) return result;
  FileDescriptor file(*fd);
  bool tooLarge = false;
  const bool read = ReadChunks(file, [&](std::string_view chunk) {
    tooLarge = result.bytes.size() + chunk.size() > most;
    if (!tooLarge) result.bytes.append(chunk);
    return !tooLarge;
  });
  if (!read) return Unreadable(SystemReason(errno));
  if (tooLarge) return Unreadable(TooLarge(most));
  if (const int error = file.Close(); error != 0) return Unreadable(SystemReason(error));
  return result;
}

FileRead ReadFileLines(const std::filesystem::path& path, const std::function<void(std::string_view)>& line) {
  FileRead result{FileRead::Outcome::Loaded, {}, {}};
  const std::optional<int> fd = OpenToRead(path, result, kMostFileBytes);
  if (!fd) return result;
  FileDescriptor file(*fd);
  std::string pending;  // the line not yet ended
  std::size_t number = 1;
  bool afterCr = false;  // an LF right after a CR ends no second line
  const bool read = ReadChunks(file, [&](std::string_view chunk) {
    for (const char c : chunk) {
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c != '\r' && c != '\n') {
        pending += c;
        if (pending.size() > kMostLineBytes) return false;
        continue;
      }
      line(pending);
      pending.clear();
      ++number;
    }
    return true;
  });
  if (!read) return Unreadable(SystemReason(errno));
  if (pending.size() > kMostLineBytes)
    return Unreadable("line " + std::to_string(number) + " is longer than 64 KiB");
  if (!pending.empty()) line(pending);
  if (const int error = file.Close(); error != 0) return Unreadable(SystemReason(error));
  return result;
}

}  // namespace regdiag
