// The threads that list folders for the indexer: also run under ThreadSanitizer.

#include "tessel/FolderReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

// The threads the process has now. A sanitizer's runtime starts one of its own with the first
// thread made, so one is made and ended before the first count.
size_t ThreadsOfProcess() {
  std::thread([] {}).join();
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"),
                                           fs::directory_iterator()));
}

TEST(FolderReaderConcurrencyTest, EveryFolderAskedForComesBackOnceWithItsListing) {
  testing_support::TempFolder tree;
  constexpr int kFolders = 60;
  for (int folder = 0; folder < kFolders; ++folder) {
    const fs::path path = tree.Path() / std::to_string(folder);
    fs::create_directories(path);
    for (int file = 0; file < folder; ++file) std::ofstream(path / std::to_string(file));
  }
  TFolderReader reader(3);
  for (int folder = 0; folder < kFolders; ++folder)
    reader.Ask(folder, (tree.Path() / std::to_string(folder)).string(), false);
  reader.Ask(kFolders, (tree.Path() / "missing").string(), false);
  EXPECT_EQ(reader.Outstanding(), kFolders + 1u);
  std::map<uint64_t, std::optional<TFolderListing>> reads;
  while (reader.Outstanding() > 0) {
    for (TFolderReader::TRead& read : reader.Take())
      EXPECT_TRUE(reads.emplace(read.ticket, std::move(read.listing)).second) << read.ticket;
  }
  ASSERT_EQ(reads.size(), kFolders + 1u);
  for (int folder = 0; folder < kFolders; ++folder) {
    ASSERT_TRUE(reads[folder].has_value()) << folder;
    EXPECT_EQ(reads[folder]->entries.size(), static_cast<size_t>(folder));
  }
  EXPECT_FALSE(reads[kFolders].has_value());
  EXPECT_TRUE(reader.Take().empty());  // nothing outstanding: no wait
}

TEST(FolderReaderConcurrencyTest, EndsWithFoldersStillAskedForAndLeavesNoThread) {
  testing_support::TempFolder tree;
  for (int file = 0; file < 200; ++file) std::ofstream(tree.Path() / std::to_string(file));
  const size_t threadsBefore = ThreadsOfProcess();
  auto reader = std::make_unique<TFolderReader>(2);
  for (int ask = 0; ask < 2000; ++ask) reader->Ask(ask, tree.Path().string(), false);
  EXPECT_FALSE(reader->Take().empty());
  reader.reset();
  EXPECT_EQ(ThreadsOfProcess(), threadsBefore);
}

}  // namespace
}  // namespace webtessl
