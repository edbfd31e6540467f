#include "core/map/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <string>
#include <system_error>

namespace regdiag {
namespace {

MapFileRead NotFound() { return MapFileRead{MapFileRead::Outcome::NotFound, {}, {}}; }

MapFileRead Unreadable(const std::error_code& error) {
  return MapFileRead{MapFileRead::Outcome::Unreadable, {}, error.message()};
}

// The same text strerror gives, without its shared buffer.
MapFileRead Unreadable(int error) { return Unreadable(std::error_code(error, std::generic_category())); }

bool IsNotFoundError(int error) { return error == ENOENT || error == ENOTDIR; }

// Closes the descriptor on every way out of ReadOpenFile.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and tells the error, 0 when the close went well.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    // A close broken by a signal has still released the descriptor.
    return (result == 0 || errno == EINTR) ? 0 : errno;
  }

 private:
  int fd_;
};

MapFileRead ReadOpenFile(FileDescriptor& file) {
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return Unreadable(errno);
  // Checked again on the open file: the name may have been replaced since.
  if (!S_ISREG(info.st_mode)) return NotFound();
  MapFileRead result{MapFileRead::Outcome::Loaded, {}, {}};
  if (info.st_size > 0) result.bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::array<char, std::size_t{64} * 1024> chunk{};
  for (;;) {
    const ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return Unreadable(errno);
    }
    result.bytes.append(chunk.data(), static_cast<std::size_t>(count));
  }
  if (const int error = file.Close(); error != 0) return Unreadable(error);
  return result;
}

}  // namespace

MapFileRead ReadMapFile(const std::filesystem::path& folder) { return ReadFileWhole(folder / kMapFileName); }

// A missing name, or one that is not a regular file, is not found. A file that
// is there but cannot be opened or read whole is unreadable, with the
// system's reason for the message box.
MapFileRead ReadFileWhole(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return NotFound();
  // Any other failure to look at the name (a folder we may not search, a
  // loop of links) means the file may be there but cannot be read.
  if (error) return Unreadable(error);
  if (!std::filesystem::is_regular_file(status)) return NotFound();

  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return IsNotFoundError(errno) ? NotFound() : Unreadable(errno);
  FileDescriptor file(fd);
  return ReadOpenFile(file);
}

std::string MapUnreadableMessage(const std::string& reason) {
  return std::string("Configuration file (tabdefs.csv) could not be read: ") + reason + ".";
}

}  // namespace regdiag
