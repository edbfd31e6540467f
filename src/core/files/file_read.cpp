#include "core/files/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <system_error>

#include "core/files/file_descriptor.h"

namespace regdiag {
namespace {

FileRead NotFound() { return FileRead{FileRead::Outcome::NotFound, {}, {}}; }

FileRead Unreadable(std::string reason) {
  return FileRead{FileRead::Outcome::Unreadable, {}, std::move(reason)};
}

bool IsNotFoundError(int error) { return error == ENOENT || error == ENOTDIR; }

FileRead ReadOpenFile(FileDescriptor& file) {
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return Unreadable(SystemReason(errno));
  // Checked again on the open file: the name may have been replaced since.
  if (!S_ISREG(info.st_mode)) return NotFound();
  FileRead result{FileRead::Outcome::Loaded, {}, {}};
  if (info.st_size > 0) result.bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::array<char, std::size_t{64} * 1024> chunk{};
  for (;;) {
    const ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return Unreadable(SystemReason(errno));
    }
    result.bytes.append(chunk.data(), static_cast<std::size_t>(count));
  }
  if (const int error = file.Close(); error != 0) return Unreadable(SystemReason(error));
  return result;
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

// A file that is there but cannot be opened or read whole is unreadable,
// with the system's reason.
FileRead ReadFileWhole(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return NotFound();
  // Any other failure to look at the name (a folder we may not search, a
  // loop of links) means the file may be there but cannot be read.
  if (error) return Unreadable(error.message());
  if (!std::filesystem::is_regular_file(status)) return NotFound();

  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return IsNotFoundError(errno) ? NotFound() : Unreadable(SystemReason(errno));
  FileDescriptor file(fd);
  return ReadOpenFile(file);
}

}  // namespace regdiag
