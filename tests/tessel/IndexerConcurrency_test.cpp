// The indexer's thread changes the index while queries read it: these tests also run under
// ThreadSanitizer.

#include "tessel/Indexer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "tessel/SearchRun.h"
#include "tests/platform/TestDesktop.h"
#include "tests/support/TempFolder.h"
#include "tests/tessel/BindMount.h"

namespace webtessl {
namespace {

using testing_desktop::Eventually;
using testing_tessel::TBindMount;
using TTreeView = std::map<std::string, TEntryFacts>;  // by full path
namespace fs = std::filesystem;

size_t Count(TIndexer& indexer, const std::string& text) {
  TSearchQuery query;
  query.text = text;
  query.sort = TSortKey::Size;
  return indexer.WithIndexShared(
      [&](const TNameIndex& index) { return RunSearch(index, query).count; });
}

// Every entry of the index, as path and facts.
TTreeView IndexView(const TIndexer& indexer) {
  return indexer.WithIndexShared([](const TNameIndex& index) {
    TTreeView view;
    index.ForEachLive([&](TEntryId id) { view.emplace(index.Path(id), index.Facts(id)); });
    return view;
  });
}

TEntryFacts FactsOnDisk(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return {S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size), info.st_mtim.tv_sec};
}

// What the index should hold, found the plain way: every entry below the root, one folder at a
// time, hidden names and the folders named `excluded` left out, links not followed. A root's
// own facts are not read by the scan.
TTreeView WalkTree(const fs::path& root, const std::string& excluded = "") {
  TTreeView view{{root.string(), {}}};
  std::vector<fs::path> folders{root};
  while (!folders.empty()) {
    const fs::path folder = folders.back();
    folders.pop_back();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.front() == '.') continue;
      const bool isFolder = entry.is_directory() && !entry.is_symlink();
      if (isFolder && name == excluded) continue;
      view.emplace(entry.path().string(), FactsOnDisk(entry.path()));
      if (isFolder) folders.push_back(entry.path());
    }
  }
  return view;
}

// The paths alone, for trees whose folders' dates move while they change.
TTreeView PathsOf(TTreeView view) {
  for (auto& [path, facts] : view) facts = {};
  return view;
}

// What differs between the index and the tree, a few lines at most: empty when they agree.
std::string Differences(const TTreeView& indexed, const TTreeView& expected) {
  std::string lines;
  size_t left = 10;
  const auto note = [&](const std::string& line) {
    if (left > 0 && left--) lines += line + "\n";
  };
  for (const auto& [path, facts] : indexed) {
    const auto found = expected.find(path);
    if (found == expected.end()) {
      note("indexed, not on disk: " + path);
    } else if (!(found->second == facts)) {
      note("facts differ: " + path + " size " + std::to_string(facts.size) + " (disk " +
           std::to_string(found->second.size) + ") modified " + std::to_string(facts.modified) +
           " (disk " + std::to_string(found->second.modified) + ")");
    }
  }
  for (const auto& [path, facts] : expected) {
    if (!indexed.contains(path)) note("on disk, not indexed: " + path);
  }
  return lines;
}

// Until the first scan and the reading of its sizes and dates are done.
void AwaitFirstScan(const TIndexer& indexer) {
  while (indexer.Indexing(TSortKey::Size)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The threads the process has now. A sanitizer's runtime starts one of its own with the first
// thread made, so one is made and ended before the first count.
size_t ThreadsOfProcess() {
  std::thread([] {}).join();
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"),
                                           fs::directory_iterator()));
}

void MakeFiles(const fs::path& folder, int count, const std::string& stem = "file") {
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) std::ofstream(folder / (stem + std::to_string(i))) << std::string(i, 'x');
}

TEST(IndexerConcurrencyTest, DeepAndWideTreesAreIndexedExactly) {
  testing_support::TempFolder tree;
  fs::path deep = tree.Path() / "deep";
  for (int level = 0; level < 120; ++level) {
    deep /= "level" + std::to_string(level);
    MakeFiles(deep, 2);
  }
  const fs::path wide = tree.Path() / "wide folder";
  MakeFiles(wide, 1500, "note ");
  for (int sub = 0; sub < 150; ++sub) {
    MakeFiles(wide / ("sub " + std::to_string(sub)), 4, "Ελληνικά ");
    MakeFiles(wide / ("sub " + std::to_string(sub)) / "inner", 2);
  }
  MakeFiles(wide / "skipped", 5);
  MakeFiles(wide / "sub 3" / "skipped", 5);
  MakeFiles(wide / ".hidden", 5);
  std::ofstream(wide / ".hidden file") << "x";
  fs::create_directory_symlink(wide / "sub 1", tree.Path() / "link to sub 1");
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  settings.excludes = {"skipped"};
  TIndexer indexer(settings);
  indexer.Start();
  AwaitFirstScan(indexer);
  const TTreeView expected = WalkTree(tree.Path(), "skipped");
  ASSERT_GT(expected.size(), 2500u);
  EXPECT_EQ(Differences(IndexView(indexer), expected), "");
}

TEST(IndexerConcurrencyTest, LinkedFoldersAreNotFollowedAndALoopIsReadOnce) {
  testing_support::TempFolder tree;
  const fs::path a = tree.Path() / "a";
  MakeFiles(a / "inner", 3);
  MakeFiles(tree.Path() / "b", 3);
  fs::create_directory_symlink(tree.Path(), a / "up");
  fs::create_directory_symlink(tree.Path() / "b", a / "side");
  fs::create_directory(a / "loop");
  const TBindMount loop(a, a / "loop");  // goes before the tree
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  AwaitFirstScan(indexer);
  TTreeView expected{{tree.Path().string(), {}}};
  for (const fs::path& path : {a, a / "inner", a / "up", a / "side", tree.Path() / "b"})
    expected.emplace(path.string(), FactsOnDisk(path));
  for (int i = 0; i < 3; ++i) {
    for (const fs::path& folder : {a / "inner", tree.Path() / "b"}) {
      const fs::path file = folder / ("file" + std::to_string(i));
      expected.emplace(file.string(), FactsOnDisk(file));
    }
  }
  if (loop.Mounted()) {
    // The folder seen again through the mount is there, and nothing is read twice below it.
    expected.emplace((a / "loop").string(), FactsOnDisk(a / "loop"));
  } else {
    fs::remove(a / "loop");  // not allowed to mount here: the links alone are tried
    expected = WalkTree(tree.Path());
  }
  const TTreeView indexed = IndexView(indexer);
  EXPECT_EQ(Differences(PathsOf(indexed), PathsOf(expected)), "");
  EXPECT_EQ(indexed.at((a / "up").string()).size, FactsOnDisk(a / "up").size);
  // A change in the folder is told of as that folder's, not as one in its second place.
  std::ofstream(a / "fresh") << "x";
  EXPECT_TRUE(Eventually([&] { return IndexView(indexer).contains((a / "fresh").string()); }));
  EXPECT_FALSE(IndexView(indexer).contains((a / "loop" / "fresh").string()));
}

TEST(IndexerConcurrencyTest, FoldersRemovedOrRenamedDuringTheFirstScanEndUpAsOnDisk) {
  testing_support::TempFolder tree;
  constexpr int kFolders = 600;
  for (int folder = 0; folder < kFolders; ++folder) {
    const fs::path path = tree.Path() / ("f" + std::to_string(folder));
    MakeFiles(path, 6);
    MakeFiles(path / "sub", 3);
  }
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  // Changes while the folders are read: renamed in place, moved into another folder, removed.
  int changedWhileIndexing = 0;
  for (int folder = 0; folder < kFolders && indexer.Indexing(); folder += 3) {
    const fs::path from = tree.Path() / ("f" + std::to_string(folder));
    fs::rename(from, tree.Path() / ("renamed" + std::to_string(folder)));
    fs::rename(tree.Path() / ("f" + std::to_string(folder + 1)),
               tree.Path() / ("f" + std::to_string(folder + 2)) / "moved here");
    fs::remove_all(tree.Path() / ("f" + std::to_string(folder + 2)) / "sub");
    ++changedWhileIndexing;
  }
  AwaitFirstScan(indexer);
  EXPECT_GT(changedWhileIndexing, 0);
  const TTreeView expected = PathsOf(WalkTree(tree.Path()));
  EXPECT_TRUE(Eventually([&] { return PathsOf(IndexView(indexer)) == expected; }))
      << Differences(PathsOf(IndexView(indexer)), expected);
}

// Waits until answers by name are complete (the folders are listed) and says whether answers by
// size were still incomplete then; every look on the way must keep the two in that order.
bool AwaitNames(const TIndexer& indexer) {
  for (;;) {
    const bool factsPending = indexer.Indexing(TSortKey::Size);
    const bool namesPending = indexer.Indexing(TSortKey::Name);
    EXPECT_TRUE(factsPending || !namesPending) << "sizes read before the names";
    if (!namesPending) return factsPending;
    std::this_thread::yield();
  }
}

// Answers by name are complete once every folder is listed; answers by size or date say
// "indexing" until the sizes and dates are read too, and are right from then on.
TEST(IndexerConcurrencyTest, AnswersBySizeSayIndexingUntilTheSizesAndDatesAreRead) {
  testing_support::TempFolder tree;
  for (int folder = 0; folder < 300; ++folder)
    MakeFiles(tree.Path() / ("f" + std::to_string(folder)), 30);
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  const bool namesBeforeFacts = AwaitNames(indexer);
  EXPECT_EQ(PathsOf(IndexView(indexer)), PathsOf(WalkTree(tree.Path())));
  // Once answers by size no longer say "indexing", every size and date is there: asked before
  // the index is looked at, the flag can only be late, never early.
  for (;;) {
    const bool factsPending = indexer.Indexing(TSortKey::Date);
    const TTreeView indexed = IndexView(indexer);
    if (!factsPending) {
      EXPECT_EQ(Differences(indexed, WalkTree(tree.Path())), "");
      break;
    }
    std::this_thread::yield();
  }
  EXPECT_FALSE(indexer.Indexing(TSortKey::Size));
  ::testing::Test::RecordProperty("names ready before the sizes", namesBeforeFacts ? "yes" : "no");
}

// Files written, truncated and touched while the sizes and dates are read end up with their
// last facts: no look of the facts pass taken before a change is applied after the change's event.
TEST(IndexerConcurrencyTest, FilesChangedWhileTheSizesAreReadKeepTheirFreshFacts) {
  testing_support::TempFolder tree;
  constexpr int kFolders = 400;
  for (int folder = 0; folder < kFolders; ++folder)
    MakeFiles(tree.Path() / ("f" + std::to_string(folder)), 20);
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  AwaitNames(indexer);
  int round = 0;
  do {
    ++round;
    for (int folder = round % 7; folder < kFolders; folder += 7) {
      const fs::path folderPath = tree.Path() / ("f" + std::to_string(folder));
      std::ofstream(folderPath / "file3") << std::string(static_cast<size_t>(100 + round), 'w');
      fs::resize_file(folderPath / "file7", static_cast<uintmax_t>(round));
      const timespec stamps[2] = {{0, UTIME_OMIT}, {1600000000 + round, 0}};
      ::utimensat(AT_FDCWD, (folderPath / "file9").c_str(), stamps, 0);
    }
  } while (indexer.Indexing(TSortKey::Size) || round < 3);
  AwaitFirstScan(indexer);
  const TTreeView expected = WalkTree(tree.Path());
  EXPECT_TRUE(Eventually([&] { return IndexView(indexer) == expected; }))
      << Differences(IndexView(indexer), expected);
}

// Folders of the same file names swapped while the sizes are read: a folder read at a place
// another one has taken since does not give its facts to the other's entries.
TEST(IndexerConcurrencyTest, AFolderMovedWhileTheSizesAreReadDoesNotLendItsFacts) {
  testing_support::TempFolder tree;
  constexpr int kPairs = 200;
  for (int pair = 0; pair < kPairs; ++pair) {
    MakeFiles(tree.Path() / ("a" + std::to_string(pair)), 10);
    const fs::path b = tree.Path() / ("b" + std::to_string(pair));
    fs::create_directories(b);
    for (int i = 0; i < 10; ++i) std::ofstream(b / ("file" + std::to_string(i))) << std::string(50 + i, 'b');
  }
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  AwaitNames(indexer);
  int swaps = 0;
  do {
    for (int pair = swaps % 5; pair < kPairs; pair += 5) {
      const fs::path a = tree.Path() / ("a" + std::to_string(pair));
      const fs::path b = tree.Path() / ("b" + std::to_string(pair));
      fs::rename(a, tree.Path() / "swapping");
      fs::rename(b, a);
      fs::rename(tree.Path() / "swapping", b);
    }
    ++swaps;
  } while (indexer.Indexing(TSortKey::Size) || swaps < 3);
  AwaitFirstScan(indexer);
  // The root's own date, which its events keep and the walk does not read, is left out.
  const auto belowRoot = [&](TTreeView view) {
    view.erase(tree.Path().string());
    return view;
  };
  const TTreeView expected = belowRoot(WalkTree(tree.Path()));
  EXPECT_TRUE(Eventually([&] { return belowRoot(IndexView(indexer)) == expected; }))
      << Differences(belowRoot(IndexView(indexer)), expected);
}

// A name whose entry moved out of the roots is taken again at once, by a file or by a folder:
// the new entry stays, though the move's other half never comes and the old entry's id is free.
TEST(IndexerConcurrencyTest, ANameTakenAgainRightAfterItsEntryMovedAwayKeepsTheNewEntry) {
  testing_support::TempFolder tree;
  testing_support::TempFolder outside;
  constexpr int kNames = 200;
  for (int name = 0; name < kNames; ++name) MakeFiles(tree.Path() / ("d" + std::to_string(name)), 2);
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  TIndexer indexer(settings);
  indexer.Start();
  AwaitFirstScan(indexer);
  for (int name = 0; name < kNames; ++name) {
    const std::string text = "d" + std::to_string(name);
    fs::rename(tree.Path() / text, outside.Path() / text);
    if (name % 2 == 0) {
      std::ofstream(tree.Path() / text) << "now a file";
    } else {
      MakeFiles(tree.Path() / text, 1, "new");
    }
  }
  const TTreeView expected = PathsOf(WalkTree(tree.Path()));
  EXPECT_TRUE(Eventually([&] { return PathsOf(IndexView(indexer)) == expected; }))
      << Differences(PathsOf(IndexView(indexer)), expected);
}

TEST(IndexerConcurrencyTest, StopDuringTheFirstScanLeavesNoThread) {
  testing_support::TempFolder tree;
  for (int folder = 0; folder < 2000; ++folder)
    MakeFiles(tree.Path() / ("f" + std::to_string(folder)) / "sub", 2);
  const size_t threadsBefore = ThreadsOfProcess();
  TTesselSettings settings;
  settings.roots = {tree.Path().string()};
  auto indexer = std::make_unique<TIndexer>(settings);
  indexer->Start();
  while (IndexView(*indexer).size() < 100) std::this_thread::yield();
  const bool stoppedWhileIndexing = indexer->Indexing();
  indexer.reset();
  EXPECT_TRUE(stoppedWhileIndexing);
  EXPECT_EQ(ThreadsOfProcess(), threadsBefore);
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
