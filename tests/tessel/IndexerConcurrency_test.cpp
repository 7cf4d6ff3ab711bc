// The indexer's thread changes the index while queries read it: these tests also run under
// ThreadSanitizer.

#include "tessel/Indexer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tessel/SearchRun.h"
#include "tests/platform/TestDesktop.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_desktop::Eventually;

size_t Count(TIndexer& indexer, const std::string& text) {
  TSearchQuery query;
  query.text = text;
  query.sort = TSortKey::Size;
  return indexer.WithIndexShared(
      [&](const TNameIndex& index) { return RunSearch(index, query).count; });
}

TEST(IndexerConcurrencyTest, QueriesRunWhileTheTreeIsReadAndChanged) {
  testing_support::TempFolder tree;
  for (int folder = 0; folder < 40; ++folder) {
    const auto path = tree.Path() / ("folder" + std::to_string(folder));
    std::filesystem::create_directories(path);
    for (int file = 0; file < 50; ++file) std::ofstream(path / ("file" + std::to_string(file)));
  }
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  settings.excludes = {"folder7"};
  TIndexer indexer(settings);
  indexer.Start();
  // Queries meanwhile, two at a time as tessel's threads ask them, see a growing index, never a
  // broken one.
  std::atomic<bool> done{false};
  std::thread second([&] {
    while (!done) Count(indexer, "fil");
  });
  size_t seen = 0;
  while (indexer.Indexing()) seen = std::max(seen, Count(indexer, "file"));
  EXPECT_EQ(Count(indexer, "file"), 39u * 50u);  // folder7 is left out
  for (int i = 0; i < 100; ++i)
    std::ofstream(tree.Path() / "folder1" / ("new" + std::to_string(i)));
  std::filesystem::remove_all(tree.Path() / "folder2");
  EXPECT_TRUE(Eventually([&] { return Count(indexer, "new") == 100; }));
  EXPECT_TRUE(Eventually([&] { return Count(indexer, "file") == 38u * 50u; }));
  done = true;
  second.join();
}

TEST(IndexerConcurrencyTest, FoldersAskedForAreReadOnceAndWaitedFor) {
  testing_support::TempFolder tree;
  testing_support::TempFolder outside;
  outside.Write("far.txt", "x");
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  EXPECT_TRUE(indexer.EnsureFolder(tree.Path().string(), std::chrono::milliseconds(0)));
  EXPECT_FALSE(indexer.EnsureFolder("/does/not/exist", std::chrono::milliseconds(100)));
  EXPECT_TRUE(indexer.EnsureFolder(outside.Path().string(), std::chrono::seconds(5)));
  EXPECT_EQ(Count(indexer, "far"), 1u);
  EXPECT_TRUE(indexer.EnsureFolder(outside.Path().string(), std::chrono::milliseconds(0)));
  EXPECT_EQ(Count(indexer, "far"), 1u);
}

// The path order is brought up to date by the indexer once the index rests, so the first sorted
// query after a burst of changes does not pay for it; sorted queries meanwhile read it beside the
// indexer.
TEST(IndexerConcurrencyTest, ThePathOrderIsBroughtUpToDateOnceTheIndexRests) {
  testing_support::TempFolder tree;
  // More files than are sorted by their paths alone: a sorted page reads the path order.
  for (int file = 0; file < 2100; ++file) tree.Write("file" + std::to_string(file), "");
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  const auto stale = [&] {
    return indexer.WithIndexShared([](const TNameIndex& index) { return index.PathRanksStale(); });
  };
  std::atomic<bool> done{false};
  std::thread sorted([&] {
    while (!done) Count(indexer, "file");
  });
  for (int file = 0; file < 100; ++file) tree.Write("more" + std::to_string(file), "");
  EXPECT_TRUE(Eventually([&] { return Count(indexer, "more") == 100; }));
  done = true;
  sorted.join();
  // No query reads the order from here on (a few matches are sorted by their paths alone).
  for (int file = 0; file < 30; ++file) tree.Write("late" + std::to_string(file), "");
  EXPECT_TRUE(Eventually([&] { return Count(indexer, "late") == 30; }));
  EXPECT_TRUE(Eventually([&] { return !stale(); }));
  const auto ranks = indexer.WithIndexShared([](const TNameIndex& index) {
    return std::pair(index.PathRanks()->size(), index.IdLimit());
  });
  EXPECT_EQ(ranks.first, ranks.second);
}

}  // namespace
}  // namespace webtessl
