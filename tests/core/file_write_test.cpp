// Saving a file on real files of every kind: the new bytes arrive whole or
// the old file stays exactly as it was, through links, with its permissions,
// and no temporary is left beside it, also when a signal comes mid-write.
#include "core/files/file_write.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "core/files/file_read.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;

std::size_t HiddenFiles(const fs::path& folder) {
  std::size_t hidden = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
    hidden += entry.path().filename().string().starts_with(".") ? 1 : 0;
  return hidden;
}

// The program's own handling of SIGXFSZ: it notes how many temporaries it
// finds when the signal reaches it (synchronously, on the writing thread,
// so a look at the folder is safe here).
fs::path writingIn;
int hiddenAtSignal = -1;
extern "C" void NoteTooLarge(int /*signal*/) { hiddenAtSignal = static_cast<int>(HiddenFiles(writingIn)); }

// Writes past this many bytes fail with EFBIG (and SIGXFSZ) until the next case.
void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, NoteTooLarge);
  const rlimit limit{bytes, RLIM_INFINITY};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

void Put(const fs::path& file, const std::string& bytes, mode_t mode) {
  std::string reason;
  ASSERT_TRUE(WriteFileWhole(file, bytes, reason)) << reason;
  fs::permissions(file, static_cast<fs::perms>(mode));
}

TEST(FileWriteTest, ReplacesWholeOrKeepsTheOldFile) {
  const fs::path top = fs::temp_directory_path() / ("regdiag_write_" + std::to_string(::getpid()));
  const mode_t mask = ::umask(022);
  // Each case makes the folder, writes "new" at `target` and expects
  // `real` (the file the target leads to) to hold `bytes` with `mode`.
  const struct {
    std::function<void(const fs::path& folder)> make;
    std::string target, real;
    int error;          // the reason given, 0 when written
    std::string bytes;  // what `real` holds after
    mode_t mode;
  } kCases[] = {
      {[](auto&) {}, "new.csv", "new.csv", 0, "new", 0644},
      {[](auto& f) { Put(f / "old.csv", "old", 0600); }, "old.csv", "old.csv", 0, "new", 0600},
      {[](auto& f) { Put(f / "old.csv", "old", 0640), fs::create_symlink("old.csv", f / "link.csv"); },
       "link.csv", "old.csv", 0, "new", 0640},
      {[](auto& f) { fs::create_directory(f / "sub"), fs::create_symlink("sub/none.csv", f / "link.csv"); },
       "link.csv", "sub/none.csv", 0, "new", 0644},
      {[](auto& f) { Put(f / "old.csv", "old", 0600), LimitFileSize(2); }, "old.csv", "old.csv", EFBIG, "old",
       0600},
      {[](auto& f) { fs::create_directory(f / "dir"); }, "dir", "dir", EISDIR, "", 0},
      {[](auto&) {}, "no/such.csv", "no/such.csv", ENOENT, "", 0},
      {[](auto& f) { fs::create_symlink("loop.csv", f / "loop.csv"); }, "loop.csv", "loop.csv", ELOOP, "", 0},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    const auto& c = kCases[i];
    const fs::path folder = top / std::to_string(i);
    fs::create_directories(folder);
    c.make(folder);
    std::string reason;
    writingIn = folder;
    hiddenAtSignal = -1;
    EXPECT_EQ(WriteFileWhole(folder / c.target, "new", reason), c.error == 0);
    LimitFileSize(RLIM_INFINITY);
    // A signal that came during the write reaches the program once the
    // temporary is gone.
    EXPECT_EQ(hiddenAtSignal, c.error == EFBIG ? 0 : -1);
    EXPECT_EQ(reason, c.error == 0 ? "" : SystemReason(c.error));
    EXPECT_EQ(ReadFileWhole(folder / c.real).bytes, c.bytes);
    if (c.mode != 0) {
      EXPECT_EQ(static_cast<mode_t>(fs::status(folder / c.real).permissions()), c.mode);
    }
    EXPECT_EQ(HiddenFiles(folder), 0U);
  }
  ::umask(mask);
  fs::remove_all(top);
}

}  // namespace
}  // namespace regdiag
