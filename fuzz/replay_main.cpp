// Runs a fuzz target's checks in the test suite, without libFuzzer: on each
// file of the corpus folder given and on 300 variants of it, a few bytes
// changed, dropped or added. A fixed seed makes every run check the same
// inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argc > 1 ? argv[1] : "."))
    files.push_back(entry);
  std::sort(files.begin(), files.end());
  std::mt19937 random(11);
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> seed{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
    for (int variant = 0; variant < 300; ++variant) {
      std::vector<std::uint8_t> bytes = seed;
      for (int change = variant % 4; change > 0; --change) {
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(random() % (bytes.size() + 1));
        const auto byte = static_cast<std::uint8_t>(random());
        if (at == bytes.end() || random() % 3 == 0) {
          bytes.insert(at, byte);
        } else if (random() % 2 == 0) {
          *at = byte;
        } else {
          bytes.erase(at);
        }
      }
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
  }
  std::printf("%zu seeds, 300 inputs from each\n", files.size());
  return files.empty() ? 1 : 0;
}
