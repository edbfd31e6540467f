#include "core/files/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <random>
#include <string>
#include <utility>

#include "core/files/file_descriptor.h"
#include "core/files/file_read.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;

// As many links as the system follows before it gives up with ELOOP.
constexpr int kMostLinks = 40;
constexpr int kNameTries = 100;

// The signals that end a program unless it handles them; held back during
// a write so that the write is finished or undone first.
constexpr std::array kHeldSignals{SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
volatile std::sig_atomic_t heldSignal = 0;
extern "C" void HoldSignal(int signal) { heldSignal = signal; }

// While it lives, the held signals are only noted; then the program's own
// handling comes back and the first signal noted is raised again under it.
class SignalsHeldBack {
 public:
  SignalsHeldBack() {
    struct sigaction hold {};
    hold.sa_handler = HoldSignal;
    sigfillset(&hold.sa_mask);
    hold.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kHeldSignals.size(); ++i) ::sigaction(kHeldSignals[i], &hold, &saved_[i]);
  }
  SignalsHeldBack(const SignalsHeldBack&) = delete;
  SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;
  ~SignalsHeldBack() {
    for (std::size_t i = 0; i < kHeldSignals.size(); ++i) ::sigaction(kHeldSignals[i], &saved_[i], nullptr);
    const int signal = heldSignal;
    heldSignal = 0;
    if (signal != 0) std::raise(signal);
  }

 private:
  std::array<struct sigaction, kHeldSignals.size()> saved_{};
};

std::mutex writing;  // one write at a time holds the signals

bool Fail(int error, std::string& reason) {
  reason = SystemReason(error);
  return false;
}

// The file that a write through `path` lands in: links are followed to the
// end, which need not exist yet.
bool RealTarget(const fs::path& path, fs::path& target, std::string& reason) {
  target = path;
  for (int link = 0; link < kMostLinks; ++link) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(target, error))) return true;
    const fs::path next = fs::read_symlink(target, error);
    if (error) return Fail(error.value(), reason);
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return Fail(ELOOP, reason);
}

fs::path FolderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// The system's error, 0 when every byte was written.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return 0;
}

// The hidden file beside the target that becomes it; removed unless it
// was renamed over the target.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& target) {
    thread_local std::mt19937 random{std::random_device{}()};
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> letter(0, kLetters.size() - 1);
    for (int i = 0; i < kNameTries && fd_ < 0; ++i) {
      std::string name = "." + target.filename().string() + ".";
      for (int k = 0; k < 6; ++k) name += kLetters[letter(random)];
      path_ = FolderOf(target) / name;
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    error_ = fd_ < 0 ? errno : 0;
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!renamed_) ::unlink(path_.c_str());
  }

  // Writes, flushes and renames; the system's error on the way, 0 when done.
  int Become(const fs::path& target, std::string_view bytes, const struct stat* old) {
    if (old != nullptr && ::fchmod(fd_, old->st_mode & 07777) != 0) return errno;
    if (const int error = WriteAll(fd_, bytes); error != 0) return error;
    if (::fsync(fd_) != 0) return errno;
    if (const int error = FileDescriptor(std::exchange(fd_, -1)).Close(); error != 0) return error;
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    renamed_ = true;
    return 0;
  }

  [[nodiscard]] int OpenError() const { return error_; }

 private:
  fs::path path_;
  int fd_ = -1;
  int error_ = 0;
  bool renamed_ = false;
};

// The folder's entry of the renamed file reaches the disk too; where the
// folder cannot be flushed, the file is whole all the same.
void FlushFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool CanWriteFile(const fs::path& path, std::string& reason) {
  fs::path target;
  if (!RealTarget(path, target, reason)) return false;
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return Fail(EISDIR, reason);
    // A device or a FIFO is never written: a failure could not leave it as
    // it was, and a FIFO nobody reads would hold the program forever.
    if (!S_ISREG(info.st_mode)) {
      reason = "not a regular file";
      return false;
    }
    if (::access(target.c_str(), W_OK) != 0) return Fail(errno, reason);
  } else if (errno != ENOENT) {
    return Fail(errno, reason);
  }
  return ::access(FolderOf(target).c_str(), W_OK) == 0 || Fail(errno, reason);
}

bool WriteFileWhole(const fs::path& path, std::string_view bytes, std::string& reason) {
  const std::lock_guard lock(writing);
  const SignalsHeldBack held;
  if (!CanWriteFile(path, reason)) return false;
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  fs::path target;
  if (!RealTarget(path, target, reason)) return false;
  TemporaryFile temporary(target);
  if (temporary.OpenError() != 0) return Fail(temporary.OpenError(), reason);
  if (const int error = temporary.Become(target, bytes, exists ? &old : nullptr); error != 0) {
    return Fail(error, reason);
  }
  FlushFolder(FolderOf(target));
  return true;
}

std::FILE* OpenFileStream(const fs::path& path, std::string& reason) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) reason = SystemReason(errno);
  return file;
}

}  // namespace regdiag
