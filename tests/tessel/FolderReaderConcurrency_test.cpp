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

// Watches are added on the reading threads, each before its folder is read: an entry made after
// the listing is told of by the watch the read reports.
TEST(FolderReaderConcurrencyTest, FoldersAskedToBeWatchedAreWatchedBeforeTheyAreRead) {
  testing_support::TempFolder tree;
  constexpr int kFolders = 20;
  for (int folder = 0; folder < kFolders; ++folder) {
    fs::create_directories(tree.Path() / std::to_string(folder));
    std::ofstream(tree.Path() / std::to_string(folder) / "before");
  }
  TFolderWatch watch;
  ASSERT_TRUE(watch.Usable());
  TFolderReader reader(2);
  for (int folder = 0; folder < kFolders; ++folder) {
    reader.Ask(folder, (tree.Path() / std::to_string(folder)).string(), false,
               folder % 2 == 0 ? &watch : nullptr);
  }
  reader.Ask(kFolders, (tree.Path() / "missing").string(), false, &watch);
  std::map<uint64_t, TFolderReader::TRead> reads;
  while (reader.Outstanding() > 0) {
    for (TFolderReader::TRead& read : reader.Take()) reads.emplace(read.ticket, std::move(read));
  }
  ASSERT_EQ(reads.size(), kFolders + 1u);
  std::map<int, int> folderOfWatch;
  for (int folder = 0; folder < kFolders; ++folder) {
    const TFolderReader::TRead& read = reads.at(folder);
    ASSERT_TRUE(read.listing.has_value());
    ASSERT_EQ(read.listing->entries.size(), 1u);
    EXPECT_EQ(read.listing->NameOf(read.listing->entries[0]), "before");
    if (folder % 2 != 0) {
      EXPECT_FALSE(read.watched.has_value());
      continue;
    }
    ASSERT_EQ(read.watched, TFolderWatch::TAddResult::Added) << folder;
    EXPECT_TRUE(folderOfWatch.emplace(read.watch, folder).second);
    std::ofstream(tree.Path() / std::to_string(folder) / "after");
  }
  EXPECT_EQ(reads.at(kFolders).watched, TFolderWatch::TAddResult::Failed);
  EXPECT_FALSE(reads.at(kFolders).listing.has_value());
  std::map<int, std::string> created;
  watch.ReadEvents([&](const TFolderEvent& event) {
    if (event.kind == TFolderEvent::TKind::Created) created[event.watch] = event.name;
  });
  ASSERT_EQ(created.size(), kFolders / 2u);
  for (const auto& [id, folder] : folderOfWatch) EXPECT_EQ(created[id], "after") << folder;
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
