#include "map/map_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "map/register_map.h"

namespace regdiag {
namespace {

namespace fs = std::filesystem;
using Outcome = MapFileRead::Outcome;

class MapFileTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::temp_directory_path() / ("regdiag_map_file_" + std::to_string(::getpid()) + "_" + test);
    fs::remove_all(folder_);
    ASSERT_TRUE(fs::create_directories(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  fs::path MapPath() const { return folder_ / kMapFileName; }
  void WriteMap(const std::string& bytes) const {
    std::ofstream out(MapPath(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
  }

  fs::path folder_;
};

void ExpectNotFound(const MapFileRead& read) {
  EXPECT_EQ(read.outcome, Outcome::NotFound);
  EXPECT_EQ(read.bytes, "");
  EXPECT_EQ(read.reason, "");
}

void ExpectUnreadable(const MapFileRead& read, int error) {
  EXPECT_EQ(read.outcome, Outcome::Unreadable);
  EXPECT_EQ(read.bytes, "");
  EXPECT_EQ(read.reason, std::generic_category().message(error));
}

TEST_F(MapFileTest, MissingFileOrFolderIsNotFound) {
  ExpectNotFound(ReadMapFile(folder_));
  ExpectNotFound(ReadMapFile(folder_ / "no_such_folder"));
  // A plain file where the folder should be.
  WriteMap("TABNAME,Main\r\n");
  ExpectNotFound(ReadMapFile(MapPath()));
}

TEST_F(MapFileTest, NonRegularFilesAreNotFound) {
  struct Case {
    const char* label;
    void (*make)(const fs::path& target, const fs::path& folder);
  };
  const Case kCases[] = {
      {"directory", [](const fs::path& t, const fs::path&) { fs::create_directory(t); }},
      {"dangling link", [](const fs::path& t, const fs::path& f) { fs::create_symlink(f / "gone", t); }},
      {"link to a directory",
       [](const fs::path& t, const fs::path& f) { fs::create_directory_symlink(f, t); }},
      // Opening a FIFO would block until a writer came: it must not be opened.
      {"fifo", [](const fs::path& t, const fs::path&) { ASSERT_EQ(::mkfifo(t.c_str(), 0600), 0); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(MapPath());
    c.make(MapPath(), folder_);
    ExpectNotFound(ReadMapFile(folder_));
  }
}

TEST_F(MapFileTest, LoadsTheBytesExactly) {
  std::string large;
  for (int i = 0; large.size() < 300 * 1024; ++i) large += "REG," + std::to_string(i % 256) + ",R\r\n";
  const std::string kContents[] = {
      "",
      std::string("lone\nLF and lone\rCR\0NUL\xFF\x80\r\n", 27),
      large,
  };
  for (const std::string& contents : kContents) {
    SCOPED_TRACE(testing::Message() << contents.size() << " bytes");
    WriteMap(contents);
    const MapFileRead read = ReadMapFile(folder_);
    EXPECT_EQ(read.outcome, Outcome::Loaded);
    EXPECT_EQ(read.bytes, contents);
    EXPECT_EQ(read.reason, "");
  }
}

TEST_F(MapFileTest, LoadsThroughALink) {
  const fs::path real = folder_ / "real.csv";
  std::ofstream(real, std::ios::binary) << "TITLE,Linked\r\n";
  fs::create_symlink(real, MapPath());
  const MapFileRead read = ReadMapFile(folder_);
  EXPECT_EQ(read.outcome, Outcome::Loaded);
  EXPECT_EQ(read.bytes, "TITLE,Linked\r\n");
}

// Found but unreadable: a file whose reading fails reports the system's reason.
TEST_F(MapFileTest, ReadErrorIsUnreadable) {
  // A regular file whose first read fails for every user, root included.
  fs::create_symlink("/proc/self/mem", MapPath());
  ExpectUnreadable(ReadMapFile(folder_), EIO);
}

TEST_F(MapFileTest, LinkLoopIsUnreadable) {
  fs::create_symlink(MapPath(), MapPath());
  ExpectUnreadable(ReadMapFile(folder_), ELOOP);
}

// Permissions do not stop root, so as root the reads are made as an
// ordinary user (effective uid only, restored at the end of the scope).
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : root_(::geteuid() == 0) {
    if (root_) ok_ = ::seteuid(65534) == 0;
  }
  ~AsOrdinaryUser() {
    if (root_ && ok_) (void)::seteuid(0);
  }
  [[nodiscard]] bool Ok() const { return !root_ || ok_; }

 private:
  bool root_;
  bool ok_ = true;
};

TEST_F(MapFileTest, PermissionDeniedIsUnreadable) {
  WriteMap("TABNAME,Main\r\n");
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(MapPath(), fs::perms::none);
  {
    AsOrdinaryUser user;
    ASSERT_TRUE(user.Ok());
    ExpectUnreadable(ReadMapFile(folder_), EACCES);
  }
  // A folder that may not be searched hides whether the file is there.
  fs::permissions(MapPath(), fs::perms::owner_read);
  fs::permissions(folder_, fs::perms::owner_read);
  {
    AsOrdinaryUser user;
    ASSERT_TRUE(user.Ok());
    ExpectUnreadable(ReadMapFile(folder_), EACCES);
  }
  fs::permissions(folder_, fs::perms::owner_all);
}

TEST(MapFileMessageTest, Texts) {
  EXPECT_EQ(MapUnreadableMessage("Permission denied"),
            "Configuration file (tabdefs.csv) could not be read: Permission denied.");
  EXPECT_EQ(MapUnreadableMessage(""), "Configuration file (tabdefs.csv) could not be read: .");
  EXPECT_STREQ(kMapNotFoundMessage, "Configuration file (tabdefs.csv) not found.");
}

// The sample map shipped beside the program.
class MapFileSampleTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const fs::path sample(REGDIAG_SAMPLE_MAP);
    ASSERT_EQ(sample.filename(), kMapFileName);
    read_ = ReadMapFile(sample.parent_path());
  }
  static std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto end = read_.bytes.find("\r\n"); end != std::string::npos;
         end = read_.bytes.find("\r\n", start)) {
      lines.push_back(read_.bytes.substr(start, end - start));
      start = end + 2;
    }
    lines.push_back(read_.bytes.substr(start));
    return lines;
  }
  static std::string Keyword(const std::string& line) { return line.substr(0, line.find(',')); }

  static inline MapFileRead read_;
};

TEST_F(MapFileSampleTest, LoadsWithCrLfLineBreaks) {
  ASSERT_EQ(read_.outcome, Outcome::Loaded);
  ASSERT_GE(read_.bytes.size(), 2u);
  EXPECT_EQ(read_.bytes.substr(read_.bytes.size() - 2), "\r\n");
  for (std::string::size_type i = 0; i < read_.bytes.size(); ++i) {
    const bool lf = read_.bytes[i] == '\n', cr = read_.bytes[i] == '\r';
    EXPECT_FALSE(lf && (i == 0 || read_.bytes[i - 1] != '\r')) << "lone LF at " << i;
    EXPECT_FALSE(cr && (i + 1 == read_.bytes.size() || read_.bytes[i + 1] != '\n')) << "lone CR at " << i;
  }
}

TEST_F(MapFileSampleTest, LinesAreWellFormed) {
  bool comment = false, hexAddress = false, decimalAddress = false;
  int regsOnPage = 0;
  for (const std::string& line : Lines()) {
    SCOPED_TRACE(line);
    const std::string keyword = Keyword(line);
    comment = comment || (!line.empty() && line[0] == ';');
    if (keyword == "TABNAME") regsOnPage = 0;
    if (keyword == "REG") {
      EXPECT_LE(++regsOnPage, kRowsPerPage) << "a REG line would be hidden";
      const std::string address = line.substr(4, line.find(',', 4) - 4);
      hexAddress = hexAddress || address.rfind("&H", 0) == 0;
      decimalAddress = decimalAddress || (!address.empty() && address[0] >= '0' && address[0] <= '9');
    }
    if (keyword == "BITS") {
      EXPECT_EQ(std::count(line.begin(), line.end(), ','), kBitsPerRegister);
    }
  }
  EXPECT_TRUE(comment);
  EXPECT_TRUE(hexAddress);
  EXPECT_TRUE(decimalAddress);
}

TEST_F(MapFileSampleTest, ParsesToABelievableMap) {
  const RegisterMap map = ParseRegisterMap(read_.bytes);
  EXPECT_EQ(MapInvariantBreach(map), "");
  EXPECT_NE(map.WindowTitle, "");
  EXPECT_NE(map.HeadingText, "");
  EXPECT_GE(map.TabCount, 4);
  EXPECT_LE(map.TabCount, 5);
  std::set<int> seen, onTwoPages;
  bool shortPage = false, unnamedShown = false, reservedBit = false;
  int shown = 0, withBits = 0;
  for (int page = 0; page < map.TabCount; ++page) {
    EXPECT_NE(map.TabNames[page], "") << page;
    shortPage = shortPage || map.AddressAt(page, kRowsPerPage - 1) == kNoRegister;
    for (int row = 0; row < kRowsPerPage && map.AddressAt(page, row) != kNoRegister; ++row) {
      const int address = map.AddressAt(page, row);
      if (!seen.insert(address).second) onTwoPages.insert(address);
      ++shown;
      unnamedShown = unnamedShown || map.RegisterNames[address].empty();
      bool named = false;
      for (const std::string& bit : map.BitNames[address]) {
        named = named || !bit.empty();
        reservedBit = reservedBit || bit == "-";
      }
      withBits += named ? 1 : 0;
    }
  }
  EXPECT_TRUE(shortPage);
  EXPECT_TRUE(unnamedShown);
  EXPECT_TRUE(reservedBit);
  EXPECT_FALSE(onTwoPages.empty());
  EXPECT_GT(withBits * 4, shown * 3) << "most registers should have named bits";
  for (int address = 0; address < kRegisterCount; ++address) {
    EXPECT_LE(map.RegisterNames[address].size(), 12u) << address;
    for (const std::string& bit : map.BitNames[address]) EXPECT_LE(bit.size(), 8u) << address;
  }
}

}  // namespace
}  // namespace regdiag
