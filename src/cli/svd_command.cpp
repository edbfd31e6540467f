// regdiag-cli import: an SVD register description made a map.
#include "cli/commands.h"
#include "cli/svd/svd_import.h"
#include "core/files/file_read.h"
#include "core/files/file_write.h"

namespace regdiag::cli {

namespace {

// A register description may be far larger than a map; past this it is
// refused before it is read.
constexpr std::size_t kMostSvdBytes = std::size_t{256} << 20;

}  // namespace

Verdict RunImport(const Command& command, Console& /*console*/) {
  const FileRead file = ReadFileWhole(command.file, kMostSvdBytes);
  if (file.outcome != FileRead::Outcome::Loaded) {
    Complain(FileProblem(command.file, file.Problem()));
    return Verdict::BadInput;
  }
  const SvdImport import = ImportSvd(file.bytes, command.peripherals);
  for (const std::string& warning : import.warnings) Complain(command.file + ": " + warning);
  if (!import.error.empty()) {
    Complain(command.file + ": " + import.error);
    return Verdict::BadInput;
  }
  if (command.output.empty()) {
    Print(import.mapText);
    return Verdict::Success;
  }
  std::string reason;
  if (WriteFileWhole(command.output, import.mapText, reason)) return Verdict::Success;
  Complain(FileProblem(command.output, reason));
  return Verdict::Failure;
}

}  // namespace regdiag::cli
