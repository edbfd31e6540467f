// The layers of src/ and the one way their includes may run:
// window -> core; cli -> backends -> core; app -> window, backends. The core,
// the backends and the command line see no Qt; only the libusb backend sees
// libusb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// A file's layer: its first folder under src/; for a backend, the backend's
// folder too, since neither backend may reach into the other.
std::string LayerOf(const fs::path& relative) {
  const auto part = relative.begin();
  const std::string layer = part->string();
  return layer == "backends" && std::next(part) != relative.end() ? layer + "/" + std::next(part)->string()
                                                                  : layer;
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

// Every include that breaks the rules, as "file: what it includes", sorted.
std::string Offences(const fs::path& src) {
  static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  static const std::regex qt(R"(^(Qt\w*/|Q[A-Z]\w*$|q\w+\.h$))");
  std::set<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const fs::path& path = entry.path();
    if (path.extension() != ".cpp" && path.extension() != ".h") continue;
    const fs::path relative = fs::relative(path, src);
    const std::string layer = LayerOf(relative);
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
      std::smatch m;
      if (!std::regex_search(line, m, include)) continue;
      const std::string name = m[2], where = relative.generic_string() + ": " + name + "\n";
      if (m[1] == "<") {
        if ((kNoQt.contains(layer) && std::regex_search(name, qt)) ||
            (name == "libusb.h" && layer != "backends/libusb"))
          found.insert(where);
      } else if (fs::exists(src / name) &&
                 (!kMayInclude.contains(layer) || !kMayInclude.at(layer).contains(LayerOf(name)))) {
        found.insert(where);
      }
    }
  }
  std::string all;
  for (const std::string& offence : found) all += offence;
  return all;
}

TEST(LayersTest, IncludesRunOneWayAndQtStaysInTheWindowAndTheApp) {
  EXPECT_EQ(Offences(REGDIAG_SOURCE_DIR "/src"), "");
}

// The check finds each kind of offence in a tree made for it.
TEST(LayersTest, TheCheckFindsAnIncludeUpwardQtBelowTheWindowAndLibusbOutsideItsBackend) {
  const fs::path src = fs::temp_directory_path() / ("regdiag-layers-" + std::to_string(getpid())) / "src";
  for (const auto& [name, text] : std::map<std::string, std::string>{
           {"core/a.h", "#include <vector>\n#include \"core/b.h\"\n#include \"window/w.h\"\n"},
           {"core/b.h", ""},
           {"backends/sim/s.h", "#include <QObject>\n#include \"backends/libusb/l.h\"\n"},
           {"backends/libusb/l.h", "#include <libusb.h>\n"},
           {"window/w.h", "#include <QWidget>\n#include \"backends/sim/s.h\"\n"},
           {"cli/c.cpp", "#include <libusb.h>\n#include \"backends/sim/s.h\"\n#include \"app/m.h\"\n"},
           {"app/m.h", "#include \"window/w.h\"\n#include \"backends/libusb/l.h\"\n"}}) {
    fs::create_directories((src / name).parent_path());
    std::ofstream(src / name) << text;
  }
  EXPECT_EQ(Offences(src),
            "backends/sim/s.h: QObject\nbackends/sim/s.h: backends/libusb/l.h\ncli/c.cpp: app/m.h\n"
            "cli/c.cpp: libusb.h\ncore/a.h: window/w.h\nwindow/w.h: backends/sim/s.h\n");
  fs::remove_all(src.parent_path());
}

// Only the libusb backend links libusb, and only the window and the app link
// Qt: read from the layers' own build files.
TEST(LayersTest, OnlyTheLibusbBackendLinksLibusbAndOnlyTheWindowAndTheAppLinkQt) {
  const fs::path src = REGDIAG_SOURCE_DIR "/src";
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (entry.path().filename() != "CMakeLists.txt") continue;
    std::ifstream file(entry.path());
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const fs::path where = fs::relative(entry.path(), src);
    EXPECT_EQ(text.find("LIBUSB") != std::string::npos, where == "backends/CMakeLists.txt") << where;
    EXPECT_TRUE(text.find("Qt6::") == std::string::npos || LayerOf(where) == "window" || LayerOf(where) == "app")
        << where;
  }
}

}  // namespace
