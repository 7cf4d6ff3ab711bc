// The Win32 backend's file-system functions, on real files of a temporary folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

class Win32FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("wt-fs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "Secret Folder");
    std::ofstream(folder_ / "Secret Folder" / "Key.txt") << std::string(1234, 'k');
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

TEST_F(Win32FileSystemTest, FactsOfFilesAndFolders) {
  const auto file = FileFacts(PathOf("Secret Folder\\Key.txt"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->kind, TFileKind::File);
  EXPECT_EQ(file->size, 1234);
  const auto age =
      fs::file_time_type::clock::now() - fs::last_write_time(PathOf("Secret Folder\\Key.txt"));
  EXPECT_LT(age, std::chrono::minutes(5));
  const auto folder = FileFacts(PathOf("Secret Folder"));
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->kind, TFileKind::Directory);
}

TEST_F(Win32FileSystemTest, DevicesStreamsAndWildcardsNameNothing) {
  for (const std::string name :
       {"con", "NUL.txt", "Secret Folder\\aux", "com1", "LPT9 .log", "CONOUT$",
        "Secret Folder\\Key.txt::$DATA", "Secret*", "Secret Folder\\Key.tx?"}) {
    EXPECT_FALSE(FileFacts(PathOf(name))) << name;
    EXPECT_FALSE(CanonicalPath(PathOf(name))) << name;
  }
  EXPECT_FALSE(FileFacts(PathOf("Key.txt") + std::string(1, '\0')));
  EXPECT_TRUE(ListDirectory(PathOf("Secret*")).empty());
}

TEST_F(Win32FileSystemTest, CanonicalPathSettlesLetterCase) {
  const auto real = CanonicalPath(PathOf("Secret Folder\\Key.txt"));
  ASSERT_TRUE(real);
  EXPECT_EQ(CanonicalPath(PathOf("SECRET FOLDER\\key.TXT")), real);
  EXPECT_EQ(CanonicalPath(PathOf("Secret Folder\\.\\..\\Secret Folder\\Key.txt")), real);
  EXPECT_FALSE(real->starts_with("\\\\?\\"));
  EXPECT_FALSE(CanonicalPath(PathOf("missing.txt")));
}

TEST_F(Win32FileSystemTest, ListingHoldsEveryEntryButTheDotEntries) {
  std::ofstream(folder_ / "a.txt") << "a";
  auto entries = ListDirectory(folder_.string());
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Secret Folder");
  EXPECT_EQ(entries[0].facts.kind, TFileKind::Directory);
  EXPECT_EQ(entries[1].name, "a.txt");
  EXPECT_EQ(entries[1].facts.size, 1);
  EXPECT_EQ(ListDirectory(folder_.string() + "\\").size(), 2u);
}

}  // namespace
}  // namespace webtessl
