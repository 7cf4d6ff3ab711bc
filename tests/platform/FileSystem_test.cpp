#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, with a file of 1234 bytes and a subfolder.
class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_.Path() / "sub");
    folder_.Write("data.bin", std::string(1234, 'x'));
  }

  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  testing_support::TempFolder folder_;
};

TEST_F(FileSystemTest, FactsOfFilesAndFolders) {
  const timespec times[2] = {{1000, 0}, {1236434709, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, PathOf("data.bin").c_str(), times, 0), 0);
  const auto file = FileFacts(PathOf("data.bin"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->kind, TFileKind::File);
  EXPECT_EQ(file->size, 1234);
  EXPECT_EQ(file->modified.seconds, 1236434709);
  EXPECT_EQ(file->modified.nanoseconds, 123456789);
  const auto folder = FileFacts(PathOf("sub"));
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->kind, TFileKind::Directory);
  EXPECT_EQ(folder->size, 0);
}

TEST_F(FileSystemTest, MissingPathsAndNulBytesNameNothing) {
  EXPECT_FALSE(FileFacts(PathOf("missing")));
  EXPECT_FALSE(FileFacts(""));
  EXPECT_FALSE(FileFacts(PathOf("data.bin") + std::string(1, '\0') + "x"));
  EXPECT_TRUE(ListDirectory(PathOf("missing")).empty());
  EXPECT_TRUE(ListDirectory(folder_.Path().string() + std::string(1, '\0')).empty());
}

TEST_F(FileSystemTest, CanonicalPathResolvesLinksAndDotSegments) {
  fs::create_symlink(folder_.Path() / "sub", folder_.Path() / "alias");
  const std::string real = fs::canonical(folder_.Path() / "sub").string();
  EXPECT_EQ(CanonicalPath(PathOf("alias")), real);
  EXPECT_EQ(CanonicalPath(PathOf("sub/../sub/./")), real);
  EXPECT_FALSE(CanonicalPath(PathOf("missing")));
  EXPECT_FALSE(CanonicalPath(""));
  EXPECT_FALSE(CanonicalPath(PathOf("sub") + std::string(1, '\0')));
}

TEST_F(FileSystemTest, ListingHoldsEveryEntryButTheDotEntries) {
  fs::create_symlink(folder_.Path() / "nowhere", folder_.Path() / "dangling");
  fs::create_symlink(folder_.Path() / "data.bin", folder_.Path() / "link");
  auto entries = ListDirectory(folder_.Path().string());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "dangling");
  EXPECT_EQ(entries[0].facts.kind, TFileKind::Other);
  EXPECT_EQ(entries[1].name, "data.bin");
  EXPECT_EQ(entries[1].facts.size, 1234);
  EXPECT_EQ(entries[2].name, "link");
  EXPECT_EQ(entries[2].facts.kind, TFileKind::File);
  EXPECT_EQ(entries[2].facts.size, 1234);
  EXPECT_EQ(entries[3].name, "sub");
  EXPECT_EQ(entries[3].facts.kind, TFileKind::Directory);
}

}  // namespace
}  // namespace webtessl
