// What the POSIX file-system functions add to the contract of tests/platform/FileSystem_test.cpp:
// times to the nanosecond, and symbolic links.

#include "platform/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_.Path() / "sub");
    folder_.Write("data.bin", std::string(1234, 'x'));
  }

  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  testing_support::TempFolder folder_;
};

TEST_F(PosixFileSystemTest, ModificationTimeToTheNanosecond) {
  const timespec times[2] = {{1000, 0}, {1236434709, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, PathOf("data.bin").c_str(), times, 0), 0);
  const auto file = FileFacts(PathOf("data.bin"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->modified.seconds, 1236434709);
  EXPECT_EQ(file->modified.nanoseconds, 123456789);
}

TEST_F(PosixFileSystemTest, CanonicalPathResolvesLinks) {
  fs::create_symlink(folder_.Path() / "sub", folder_.Path() / "alias");
  EXPECT_EQ(CanonicalPath(PathOf("alias")), fs::canonical(folder_.Path() / "sub").string());
}

// A listing tells what a link leads to; a link that leads nowhere is neither file nor folder.
TEST_F(PosixFileSystemTest, ListingFollowsLinks) {
  fs::create_symlink(folder_.Path() / "nowhere", folder_.Path() / "dangling");
  fs::create_symlink(folder_.Path() / "data.bin", folder_.Path() / "link");
  auto entries = ListDirectory(folder_.Path().string());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "dangling");
  EXPECT_EQ(entries[0].facts.kind, TFileKind::Other);
  EXPECT_EQ(entries[2].name, "link");
  EXPECT_EQ(entries[2].facts.kind, TFileKind::File);
  EXPECT_EQ(entries[2].facts.size, 1234);
}

}  // namespace
}  // namespace webtessl
