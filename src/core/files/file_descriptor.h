// An open file descriptor that is closed on every way out of the code that
// opened it.
//
// Owns the descriptor; not copyable. Any thread, one owner at a time.
#pragma once

#include <unistd.h>

#include <cerrno>

namespace regdiag {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }
  // Closes now and tells the error, 0 when the close went well.
  [[nodiscard]] int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    // A close broken by a signal has still released the descriptor.
    return (result == 0 || errno == EINTR) ? 0 : errno;
  }

 private:
  int fd_;
};

}  // namespace regdiag
