// What every backend's file-system functions promise, on real files of a temporary folder. The
// same source is built into the Linux tests and into the Windows tests run under Wine; what only
// one system has lives beside it (posix/, tests/win32/).

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include "platform/Paths.h"
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
  std::string Root() const { return folder_.Path().string(); }

  testing_support::TempFolder folder_;
};

TEST_F(FileSystemTest, FactsOfFilesAndFolders) {
  const auto file = FileFacts(PathOf("data.bin"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->kind, TFileKind::File);
  EXPECT_EQ(file->size, 1234);
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  EXPECT_NEAR(static_cast<double>(file->modified.seconds), static_cast<double>(now), 300.0);
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
  EXPECT_TRUE(ListDirectory(Root() + std::string(1, '\0')).empty());
}

TEST_F(FileSystemTest, CanonicalPathSettlesDotSegments) {
  const std::optional<std::string> real = CanonicalPath(PathOf("sub"));
  ASSERT_TRUE(real);
  EXPECT_TRUE(IsAbsolutePath(*real));
  const std::string dots = std::string(1, kPathDelimiter) + ".." + kPathDelimiter + "sub" +
                           kPathDelimiter + "." + kPathDelimiter;
  EXPECT_EQ(CanonicalPath(PathOf("sub") + dots), real);
  EXPECT_FALSE(CanonicalPath(PathOf("missing")));
  EXPECT_FALSE(CanonicalPath(""));
  EXPECT_FALSE(CanonicalPath(PathOf("sub") + std::string(1, '\0')));
}

TEST_F(FileSystemTest, ListingHoldsEveryEntryButTheDotEntries) {
  auto entries = ListDirectory(Root());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "data.bin");
  EXPECT_EQ(entries[0].facts.kind, TFileKind::File);
  EXPECT_EQ(entries[0].facts.size, 1234);
  EXPECT_EQ(entries[1].name, "sub");
  EXPECT_EQ(entries[1].facts.kind, TFileKind::Directory);
  EXPECT_EQ(ListDirectory(Root() + kPathDelimiter).size(), 2u) << "a trailing delimiter";
}

}  // namespace
}  // namespace webtessl
