// regdiag-cli as a whole: reads the options, the map and the command, checks
// every input before anything is sent, runs the command on the bridge and
// comes to one verdict, which main turns into the exit status.
//
// Threads: the calling thread; the only other thread is the USB library's.
#pragma once

#include <span>

#include "cli/outcome.h"

namespace regdiag::cli {

// `args` without the program's name.
[[nodiscard]] Verdict Run(std::span<char* const> args);

}  // namespace regdiag::cli
