// regdiag-cli: the register engine on the command line, for scripts. Links
// no Qt library.
#include <span>

#include "cli/cli_main.h"
#include "cli/outcome.h"

int main(int argc, char** argv) {
  const std::span<char* const> args(argv, static_cast<std::size_t>(argc));
  return regdiag::cli::ExitStatus(regdiag::cli::Run(args.subspan(args.empty() ? 0 : 1)));
}
