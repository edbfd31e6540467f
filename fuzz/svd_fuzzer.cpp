// The SVD import on arbitrary bytes: it ends with an error and no map, or
// with a map that the map reader takes whole, skipping no line of it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cli/svd/svd_import.h"
#include "core/map/register_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regdiag::cli::SvdImport result = regdiag::cli::ImportSvd(bytes, {});
  if (!result.error.empty() && !result.mapText.empty()) {
    std::fprintf(stderr, "import invariant broken: an error and a map\n");
    std::abort();
  }
  if (!result.error.empty()) return 0;
  const regdiag::RegisterMap map = regdiag::ParseRegisterMap(result.mapText);
  if (!map.SkippedLines.empty() || map.TabCount == 0) {
    std::fprintf(stderr, "import invariant broken: the map skips line %d (%s)\n%s",
                 map.SkippedLines.empty() ? 0 : map.SkippedLines[0].line,
                 map.SkippedLines.empty() ? "no page" : map.SkippedLines[0].reason.c_str(),
                 result.mapText.c_str());
    std::abort();
  }
  return 0;
}
