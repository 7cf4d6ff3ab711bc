// What the POSIX file-system functions add to the contract of tests/platform/FileSystem_test.cpp:
// times to the nanosecond, and symbolic links.

#include "platform/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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

// Links are followed when facts are taken together too, and a dangling one is described itself.
TEST(PosixFileSystemTest, FactsTakenTogetherFollowLinks) {
  const TempFolder folder;
  const std::string data = folder.Write("data.bin", std::string(100, 'd'));
  fs::create_symlink(folder.Path() / "nowhere", folder.Path() / "dangling");
  fs::create_symlink(folder.Path() / "data.bin", folder.Path() / "link");
  const std::vector<std::string> paths = {folder.File("link"), folder.File("dangling"), data};
  const auto together = FilesFacts(paths);
  ASSERT_EQ(together.size(), 3u);
  ASSERT_TRUE(together[0] && together[1] && together[2]);
  EXPECT_EQ(together[0]->kind, TFileKind::File);
  EXPECT_EQ(together[0]->size, 100);
  EXPECT_EQ(together[1]->kind, TFileKind::Other);
  EXPECT_EQ(together[2]->size, 100);
}

TEST(PosixFileSystemConcurrencyTest, ThreadsTakeFactsTogetherAtOnce) {
  const TempFolder folder;
  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i) {
    paths.push_back(folder.Write("f" + std::to_string(i), std::string(static_cast<size_t>(i), 'z')));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&paths] {
      for (int round = 0; round < 50; ++round) {
        const auto facts = FilesFacts(paths);
        for (size_t i = 0; i < paths.size(); ++i) {
          ASSERT_TRUE(facts[i]);
          EXPECT_EQ(facts[i]->size, static_cast<int64_t>(i));
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace webtessl
