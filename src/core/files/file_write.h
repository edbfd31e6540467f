// Writing the files the programs save: a snapshot, a saved log. A file is
// written whole or not at all: the bytes go into a hidden temporary file
// beside the target (".NAME.XXXXXX"), which is flushed to the disk and then
// renamed over the target. Until the rename the old file stands as it was; a
// failure (a full disk, a file size limit) removes the temporary and nothing
// else. SIGINT, SIGTERM, SIGHUP and SIGXFSZ that arrive during a write take
// effect, as the program handles them, once the file is whole or the
// temporary gone; only SIGKILL can leave a temporary behind.
//
// A target that is a symbolic link is written through it: the link stays
// and the file it leads to is replaced. A target that exists keeps its
// permissions; a new one gets the usual ones (0666 less the umask). Only a
// regular file or a new one is written: a device (/dev/stdout, a copy of
// /dev/full) or a FIFO is refused as "not a regular file".
//
// Threads: any; one write at a time in the whole program (the signals are
// the program's, not the thread's).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace regdiag {

// Whether a file can be written at `path`, checked before the work that
// makes its bytes; otherwise the reason (a folder, not a regular file, no
// permission, no such folder).
[[nodiscard]] bool CanWriteFile(const std::filesystem::path& path, std::string& reason);

// Replaces the file at `path` with `bytes`; otherwise the system's reason,
// and the old file, if any, is unchanged.
[[nodiscard]] bool WriteFileWhole(const std::filesystem::path& path, std::string_view bytes,
                                  std::string& reason);

// A file written as it goes (regdiag-cli's --log=FILE): created or emptied
// at once, in place; null and the system's reason when it cannot be. The
// caller closes it.
[[nodiscard]] std::FILE* OpenFileStream(const std::filesystem::path& path, std::string& reason);

}  // namespace regdiag
