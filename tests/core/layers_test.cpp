// The layers of src/ and the one way their includes may run:
// window -> core; cli -> backends -> core; app -> window, backends. The core,
// the backends and the command line see no Qt, and only the libusb backend
// sees libusb.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The layer of a file: its first folder under src/, and for the backends the
// backend's own folder too, since neither backend may reach into the other.
std::string LayerOf(const fs::path& relative) {
  auto part = relative.begin();
  std::string layer = part->string();
  if (layer == "backends" && std::next(part) != relative.end()) layer += "/" + std::next(part)->string();
  return layer;
}

const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"core", {"core"}},
    {"backends/libusb", {"core", "backends/libusb"}},
    {"backends/sim", {"core", "backends/sim"}},
    {"window", {"core", "window"}},
    {"cli", {"core", "backends/libusb", "backends/sim", "cli"}},
    {"app", {"core", "backends/libusb", "backends/sim", "window", "app"}},
};
const std::set<std::string> kNoQt = {"core", "backends/libusb", "backends/sim", "cli"};

// Every include that breaks the rules, as "file: what it includes".
std::vector<std::string> Offences(const fs::path& src) {
  static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  static const std::regex qt(R"(^(Qt\w*/|Q[A-Z]\w*$|q\w+\.h$))");
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const fs::path& path = entry.path();
    if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) continue;
    const fs::path relative = fs::relative(path, src);
    const std::string layer = LayerOf(relative);
    const auto allowed = kMayInclude.find(layer);
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      const std::string name = m[2];
      const std::string where = relative.generic_string() + ": " + name;
      if (m[1] == "<") {
        if (kNoQt.contains(layer) && std::regex_search(name, qt)) found.push_back(where);
        if (name == "libusb.h" && layer != "backends/libusb") found.push_back(where);
        continue;
      }
      if (!fs::exists(src / name)) continue;  // beside the file, in its own folder
      if (allowed == kMayInclude.end() || !allowed->second.contains(LayerOf(fs::path(name)))) {
        found.push_back(where);
      }
    }
  }
  return found;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::ostringstream out;
  for (const std::string& line : lines) out << line << '\n';
  return out.str();
}

TEST(LayersTest, IncludesRunOneWayAndQtStaysInTheWindowAndTheApp) {
  EXPECT_EQ(Joined(Offences(REGDIAG_SOURCE_DIR "/src")), "");
}

// The check itself finds each kind of offence in a tree made for it.
TEST(LayersTest, TheCheckFindsAnIncludeUpwardQtBelowTheWindowAndLibusbOutsideItsBackend) {
  const fs::path src = fs::temp_directory_path() / ("regdiag-layers-" + std::to_string(getpid())) / "src";
  fs::remove_all(src.parent_path());
  const std::vector<std::pair<std::string, std::string>> files = {
      {"core/a.h", "#include <vector>\n#include \"core/b.h\"\n"},
      {"core/b.h", "#include \"window/w.h\"\n"},
      {"backends/sim/s.cpp", "#include <QObject>\n#include \"backends/libusb/l.h\"\n"},
      {"backends/libusb/l.h", "#include <libusb.h>\n"},
      {"window/w.h", "#include <QWidget>\n#include \"backends/sim/s.h\"\n"},
      {"backends/sim/s.h", ""},
      {"cli/c.cpp", "#include <libusb.h>\n#include \"backends/sim/s.h\"\n#include \"app/m.h\"\n"},
      {"app/m.h", "#include \"window/w.h\"\n#include \"backends/libusb/l.h\"\n"},
  };
  for (const auto& [name, text] : files) {
    fs::create_directories((src / name).parent_path());
    std::ofstream(src / name) << text;
  }
  std::vector<std::string> found = Offences(src);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(Joined(found),
            "backends/sim/s.cpp: QObject\nbackends/sim/s.cpp: backends/libusb/l.h\ncli/c.cpp: app/m.h\n"
            "cli/c.cpp: libusb.h\ncore/b.h: window/w.h\nwindow/w.h: backends/sim/s.h\n");
  fs::remove_all(src.parent_path());
}

// Only the libusb backend links libusb, and only the window and the app link
// Qt: read from the targets' own build files.
TEST(LayersTest, OnlyTheLibusbBackendLinksLibusbAndOnlyTheWindowAndTheAppLinkQt) {
  const fs::path src = REGDIAG_SOURCE_DIR "/src";
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (entry.path().filename() != "CMakeLists.txt") continue;
    std::ifstream file(entry.path());
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::string where = fs::relative(entry.path(), src).generic_string();
    const std::string layer = LayerOf(fs::relative(entry.path(), src));
    EXPECT_EQ(text.find("LIBUSB") != std::string::npos, where == "backends/CMakeLists.txt") << where;
    EXPECT_TRUE(text.find("Qt6::") == std::string::npos || layer == "window" || layer == "app") << where;
  }
}

}  // namespace
