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

using testing_support::TempFolder;

TEST(PosixFileSystemTest, ModificationTimeToTheNanosecond) {
  const TempFolder folder;
  const std::string path = folder.Write("data.bin", "data");
  const timespec times[2] = {{1000, 0}, {1236434709, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto file = FileFacts(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->modified.seconds, 1236434709);
  EXPECT_EQ(file->modified.nanoseconds, 123456789);
}

TEST(PosixFileSystemTest, CanonicalPathResolvesLinks) {
  const TempFolder folder;
  fs::create_directories(folder.Path() / "sub");
  fs::create_symlink(folder.Path() / "sub", folder.Path() / "alias");
  EXPECT_EQ(CanonicalPath(folder.File("alias")), fs::canonical(folder.Path() / "sub").string());
}

// A listing tells what a link leads to; a link that leads nowhere is neither file nor folder.
TEST(PosixFileSystemTest, ListingFollowsLinks) {
  const TempFolder folder;
  folder.Write("data.bin", std::string(1234, 'x'));
  fs::create_symlink(folder.Path() / "nowhere", folder.Path() / "dangling");
  fs::create_symlink(folder.Path() / "data.bin", folder.Path() / "link");
  auto entries = ListDirectory(folder.Path().string());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "dangling");
  EXPECT_EQ(entries[0].facts.kind, TFileKind::Other);
  EXPECT_EQ(entries[2].name, "link");
  EXPECT_EQ(entries[2].facts.kind, TFileKind::File);
  EXPECT_EQ(entries[2].facts.size, 1234);
}

}  // namespace
}  // namespace webtessl
