#include "tessel/NameIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "tessel/CaseFold.h"
#include "tessel/EntryOrder.h"
#include "tests/tessel/IndexBuilder.h"

namespace webtessl {
namespace {

using testing_tessel::AddPath;

std::vector<std::string> Hits(const TNameIndex& index, std::string_view word) {
  std::vector<std::string> paths;
  index.ForEachFoldedHit(word, [&](std::span<const TNameHit> hits) {
    for (const TNameHit& hit : hits) paths.push_back(index.Path(hit.entry));
    return true;
  });
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(NameIndexTest, PathsJoinNamesBelowTheRoot) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/home/u");
  const TEntryId file = AddPath(index, root, "docs/Report.TXT");
  EXPECT_EQ(index.Path(file), "/home/u/docs/Report.TXT");
  EXPECT_EQ(index.FoldedName(file), "report.txt");
  std::string folded;
  index.AppendFoldedPath(file, folded);
  EXPECT_EQ(folded, "/home/u/docs/report.txt");

  TNameIndex top;
  const TEntryId slash = top.AddRoot("/");
  EXPECT_EQ(top.Path(AddPath(top, slash, "etc/hosts")), "/etc/hosts");
}

TEST(NameIndexTest, AddingAnExistingNameKeepsTheEntryUnlessItsKindChanged) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  const TEntryId first = index.Add(root, "x", true);
  index.Add(first, "inner", false);
  const TEntryId sub = index.Add(first, "sub", true);
  EXPECT_EQ(index.Add(root, "x", true), first);
  EXPECT_EQ(index.Size(), 4u);
  // The folder became a file: what was in it goes too, and the folders that went are told of.
  std::set<TEntryId> removedFolders;
  const TEntryId file =
      index.Add(root, "x", false, {}, [&](TEntryId gone) { removedFolders.insert(gone); });
  EXPECT_FALSE(index.IsDirectory(file));
  EXPECT_EQ(index.Size(), 2u);
  EXPECT_EQ(removedFolders, (std::set<TEntryId>{first, sub}));
  EXPECT_EQ(index.Find(root, "x"), file);
  EXPECT_EQ(index.Find(root, "y"), kNoEntry);
  EXPECT_EQ(index.Add(file, "child", false), kNoEntry);  // files hold nothing
}

TEST(NameIndexTest, HitsAreFoundOncePerEntryAndNeverAcrossNames) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  AddPath(index, root, "abab");
  AddPath(index, root, "xa");
  AddPath(index, root, "by");
  EXPECT_EQ(Hits(index, "ab"), (std::vector<std::string>{"/r/abab"}));
  // "a" ends one name and "b" begins the next: no hit spans them.
  EXPECT_EQ(Hits(index, "ab").size(), 1u);
  EXPECT_TRUE(Hits(index, "ay").empty());
}

TEST(NameIndexTest, HitsAreFoundAtAnyDistanceFromTheLastOne) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  std::vector<std::string> expected;
  std::mt19937 random(5);
  // Gaps of a few records and of many, around where the lookup changes its way of stepping.
  for (int hit = 0; hit < 200; ++hit) {
    const int gap =
        hit % 3 == 0 ? static_cast<int>(random() % 300) : static_cast<int>(random() % 12);
    for (int filler = 0; filler < gap; ++filler)
      AddPath(index, root, "n" + std::to_string(hit) + "_" + std::to_string(filler));
    const std::string name = "hit" + std::to_string(hit) + "q";
    AddPath(index, root, name);
    expected.push_back("/r/" + name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Hits(index, "q"), expected);
  EXPECT_EQ(Hits(index, "tq").size(), 0u);
  EXPECT_EQ(Hits(index, "t1").size(), 111u);  // hit1, hit10-19, hit100-199
}

// Every name a hit: the first and the last name, the names at the marks kept every 64 names and
// at the ends of the parts are each found once, in arena order, with their own folded name.
TEST(NameIndexTest, EveryNameIsFoundAcrossMarksAndPartsWhenAllHoldTheWord) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  std::vector<TEntryId> added;
  for (int i = 0; i < 64 * 5 + 1; ++i) {
    // Lengths vary so that names cross the scan's blocks at every offset.
    added.push_back(index.Add(root, "Q" + std::string(static_cast<size_t>(i % 70), 'x') +
                                        std::to_string(i), false));
  }
  for (const size_t parts : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
    std::vector<TEntryId> found;
    for (size_t part = 0; part < parts; ++part) {
      index.ForEachFoldedHitInPart("q", part, parts, [&](std::span<const TNameHit> hits) {
        for (const TNameHit& hit : hits) {
          if (hit.isRoot) continue;
          found.push_back(hit.entry);
          EXPECT_EQ(hit.folded, index.FoldedName(hit.entry));
          EXPECT_TRUE(hit.ownName);
        }
        return true;
      });
    }
    EXPECT_EQ(found, added) << parts << " parts";
  }
}

TEST(NameIndexTest, RemovingAFolderRemovesEverythingUnderIt) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  const TEntryId deep = AddPath(index, root, "a/b/c/file");
  AddPath(index, root, "keep/file");
  const TEntryId a = index.Find(root, "a");
  std::vector<TEntryId> removedFolders;
  index.Remove(std::vector<TEntryId>{a}, [&](TEntryId id) { removedFolders.push_back(id); });
  EXPECT_FALSE(index.IsLive(deep));
  EXPECT_EQ(removedFolders.size(), 3u);  // a, b, c
  EXPECT_EQ(Hits(index, "file"), (std::vector<std::string>{"/r/keep/file"}));
  // Ids are reused, and the stale names of the removed entries are never reported.
  const TEntryId fresh = AddPath(index, root, "new");
  EXPECT_TRUE(index.IsLive(fresh));
  EXPECT_TRUE(Hits(index, "c").empty());
}

TEST(NameIndexTest, MovingAFolderCarriesItsEntriesAndReplacesTheTarget) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  const TEntryId file = AddPath(index, root, "old/inner/file.txt");
  const TEntryId target = AddPath(index, root, "dest/");
  const TEntryId replaced = AddPath(index, root, "dest/renamed");
  index.Move(index.Find(root, "old"), target, "renamed");
  EXPECT_FALSE(index.IsLive(replaced));
  EXPECT_EQ(index.Path(file), "/r/dest/renamed/inner/file.txt");
  EXPECT_TRUE(Hits(index, "old").empty());
  EXPECT_EQ(Hits(index, "renamed"), (std::vector<std::string>{"/r/dest/renamed"}));
}

TEST(NameIndexTest, ManyRenamesCompactTheArenasWithoutLosingNames) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  const TEntryId keep = AddPath(index, root, "keeper");
  const TEntryId moving = AddPath(index, root, "m");
  const std::string longName(200, 'q');
  for (int i = 0; i < 20000; ++i) index.Move(moving, root, longName + std::to_string(i % 2));
  EXPECT_EQ(index.Name(keep), "keeper");
  EXPECT_EQ(Hits(index, "keeper"), (std::vector<std::string>{"/r/keeper"}));
  EXPECT_EQ(Hits(index, "qqq").size(), 1u);
}

TEST(NameIndexTest, PathRanksFollowByteOrderOfFullPaths) {
  // Names chosen so that "/" (0x2F) sorts between them: "a-c" < "a/x" < "a0".
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  std::vector<TEntryId> all;
  for (const char* path : {"a/x", "a-c", "a0", "a/b/c", "ab", "B", "a/b-", "é", "a/b/"})
    all.push_back(AddPath(index, root, path));
  index.ForEachLive([&](TEntryId id) { all.push_back(id); });
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  const std::vector<uint32_t> ranks = *index.PathRanks();
  std::vector<TEntryId> byRank = all;
  std::sort(byRank.begin(), byRank.end(),
            [&](TEntryId a, TEntryId b) { return ranks[a] < ranks[b]; });
  std::vector<std::string> paths;
  for (const TEntryId id : byRank) paths.push_back(index.Path(id));
  std::vector<std::string> sorted = paths;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(paths, sorted);
}

TEST(NameIndexTest, RandomChangesKeepLookupsAndRanksConsistent) {
  std::mt19937 random(7);
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  std::vector<TEntryId> folders{root};
  for (int step = 0; step < 5000; ++step) {
    const TEntryId folder = folders[random() % folders.size()];
    if (!index.IsLive(folder)) continue;
    const std::string name = "n" + std::to_string(random() % 50);
    if (random() % 5 == 0 && folder != root) {
      index.Remove(std::vector<TEntryId>{folder});
    } else {
      const TEntryId id = index.Add(folder, name, random() % 3 == 0);
      if (id != kNoEntry && index.IsDirectory(id)) folders.push_back(id);
    }
  }
  std::vector<TEntryId> live;
  index.ForEachLive([&](TEntryId id) { live.push_back(id); });
  const std::vector<uint32_t> ranks = *index.PathRanks();
  std::set<std::string> paths;
  for (const TEntryId id : live) {
    const std::string path = index.Path(id);
    EXPECT_TRUE(paths.insert(path).second) << path;
    if (!index.IsRoot(id)) {
      EXPECT_EQ(index.Find(index.Parent(id), index.Name(id)), id);
    }
  }
  std::sort(live.begin(), live.end(), [&](TEntryId a, TEntryId b) { return ranks[a] < ranks[b]; });
  for (size_t i = 1; i < live.size(); ++i) EXPECT_LT(index.Path(live[i - 1]), index.Path(live[i]));
}

// Sizes and dates lie beside the names by entry id: through additions, renames, removals that
// free ids for reuse, compaction of the name arenas and the release of spare room, every live
// entry keeps its own, a reused id starts from nothing, and folders stay at size 0.
TEST(NameIndexTest, FactsStayWithTheirEntriesThroughChurnOnALargeIndex) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/big");
  std::vector<TEntryId> folders;
  for (int i = 0; i < 300; ++i)
    folders.push_back(index.Add(root, "folder" + std::to_string(i), true, TEntryFacts{999, 7}));
  std::map<TEntryId, std::pair<std::string, TEntryFacts>> expected;
  std::mt19937 random(3);
  for (int i = 0; i < 200000; ++i) {
    const TEntryId folder = folders[random() % folders.size()];
    const std::string name = "File_" + std::to_string(i) + (i % 3 == 0 ? "É.txt" : ".dat");
    // Sizes below and above 4 GiB, which are kept apart.
    const uint64_t size = i % 2 == 0 ? random() : random() * 1000ULL;
    const TEntryFacts facts{size, 1000000000 + static_cast<int64_t>(i)};
    const TEntryId id = index.Add(folder, name, false, facts);
    expected[id] = {index.Path(id), facts};
  }
  EXPECT_EQ(index.Facts(folders[0]), (TEntryFacts{0, 7}));  // a folder has no size
  // Rename a third, remove a third (their ids are reused below), touch the rest.
  std::vector<TEntryId> removed;
  for (auto it = expected.begin(); it != expected.end();) {
    const TEntryId id = it->first;
    switch (id % 3) {
      case 0:
        index.Move(id, folders[id % folders.size()], "renamed_" + std::to_string(id) + "_Ω");
        it->second.first = index.Path(id);
        ++it;
        break;
      case 1:
        removed.push_back(id);
        it = expected.erase(it);
        break;
      default:
        it->second.second.modified += 1;
        index.SetFacts(id, it->second.second);
        ++it;
    }
  }
  index.Remove(removed);
  for (int i = 0; i < 1000; ++i) {
    const TEntryId id = index.Add(folders[0], "again" + std::to_string(i), false);
    EXPECT_EQ(index.Facts(id), TEntryFacts{}) << "a reused id keeps no facts";
    expected[id] = {index.Path(id), {}};
  }
  // Dates outside what is kept are held at its ends.
  const TEntryId early = index.Add(folders[1], "early", false, TEntryFacts{1, -5});
  const TEntryId late = index.Add(folders[1], "late", false, TEntryFacts{1, int64_t{1} << 40});
  const TEntryId huge = index.Add(folders[1], "huge", false, TEntryFacts{uint64_t{1} << 45, 1});
  EXPECT_EQ(index.SizeOf(huge), uint64_t{1} << 45);
  index.SetFacts(huge, {UINT32_MAX - 1, 1});
  EXPECT_EQ(index.SizeOf(huge), UINT32_MAX - 1);
  index.SetFacts(huge, {UINT32_MAX, 1});
  EXPECT_EQ(index.SizeOf(huge), UINT32_MAX);
  EXPECT_EQ(index.ModifiedOf(early), 0);
  EXPECT_EQ(index.ModifiedOf(late), int64_t{UINT32_MAX});
  index.Remove(std::vector<TEntryId>{early, late, huge});
  index.ShrinkToFit();
  EXPECT_EQ(index.Size(), expected.size() + folders.size() + 1);
  const std::vector<uint32_t> ranks = *index.PathRanks();
  std::vector<std::pair<uint32_t, std::string>> byRank;
  for (const auto& [id, want] : expected) {
    ASSERT_TRUE(index.IsLive(id));
    ASSERT_EQ(index.Path(id), want.first);
    ASSERT_EQ(index.Facts(id), want.second) << want.first;
    ASSERT_EQ(index.Find(index.Parent(id), index.Name(id)), id);
    byRank.emplace_back(ranks[id], want.first);
  }
  std::sort(byRank.begin(), byRank.end());
  for (size_t i = 1; i < byRank.size(); ++i) ASSERT_LT(byRank[i - 1].second, byRank[i].second);
}

// The compact layout (12-byte entries, names closed by NUL bytes and found by counting them from
// a mark every 64 records) on a large index through renames, removals, compaction and reuse of
// ids: every live name is found where it is, in any number of parts, and nowhere else.
TEST(NameIndexTest, TheLayoutHoldsOnALargeIndexThroughChurn) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/big");
  std::mt19937 random(17);
  const std::vector<std::string> pieces = {"Report", "notes", "Ελλάδα", "x", "QUETZAL", "日本",
                                           "draft", "a", "Übersicht"};
  std::vector<TEntryId> folders{root};
  for (int i = 0; i < 120000; ++i) {
    const TEntryId folder = folders[random() % folders.size()];
    std::string name = pieces[random() % pieces.size()] + std::to_string(i);
    if (random() % 97 == 0) name += pieces[random() % pieces.size()];
    const TEntryId id = index.Add(folder, name, random() % 10 == 0);
    if (id != kNoEntry && index.IsDirectory(id)) folders.push_back(id);
  }
  std::vector<TEntryId> live;
  index.ForEachLive([&](TEntryId id) { live.push_back(id); });
  for (size_t i = 0; i < live.size(); i += 3) {
    const TEntryId id = live[i];
    if (index.IsRoot(id) || !index.IsLive(id)) continue;
    if (i % 2 == 0) {
      index.Remove(std::vector<TEntryId>{id});
    } else {
      index.Move(id, index.Parent(id), "Renamed" + std::to_string(i) + "Ω");
    }
  }
  for (int i = 0; i < 20000; ++i) index.Add(root, "again" + std::to_string(i) + "Draft", false);
  EXPECT_EQ(index.Add(root, std::string("nul\0byte", 8), false), kNoEntry);

  std::map<std::string, std::set<TEntryId>> expected;
  const std::vector<std::string> words = {"draft", "x", "quetzal", "ελλάδα", "renamed1", "ω", "3"};
  size_t folderCount = 0;
  size_t fileCount = 0;
  index.ForEachLive([&](TEntryId id) {
    if (index.IsRoot(id)) return;
    (index.IsDirectory(id) ? folderCount : fileCount) += 1;
    ASSERT_EQ(index.Find(index.Parent(id), index.Name(id)), id);
    ASSERT_EQ(index.FoldedName(id), FoldCase(index.Name(id)));
    for (const std::string& word : words) {
      if (index.FoldedName(id).find(word) != std::string_view::npos) expected[word].insert(id);
    }
  });
  EXPECT_EQ(index.FolderCount(), folderCount);
  EXPECT_EQ(index.FileCount(), fileCount);
  for (const std::string& word : words) {
    for (const size_t parts : {size_t{1}, size_t{2}, size_t{3}}) {
      std::set<TEntryId> found;
      for (size_t part = 0; part < parts; ++part) {
        index.ForEachFoldedHitInPart(word, part, parts, [&](std::span<const TNameHit> hits) {
          for (const TNameHit& hit : hits) {
            EXPECT_TRUE(found.insert(hit.entry).second) << word;
            EXPECT_EQ(hit.folded, index.FoldedName(hit.entry));
            EXPECT_EQ(hit.ownName, index.Name(hit.entry) != hit.folded);
            EXPECT_EQ(hit.isDirectory, index.IsDirectory(hit.entry));
          }
          return true;
        });
      }
      EXPECT_EQ(found, expected[word]) << word << " in " << parts << " parts";
    }
  }
}

// After a change the path ranks are patched, not sorted again: new paths (also those under a moved
// folder) are unranked and compared themselves, the others keep their order; past the limit of
// new paths everything is ordered anew.
TEST(NameIndexTest, PatchedPathRanksKeepTheOrderOfFullPaths) {
  TNameIndex index;
  const TEntryId root = index.AddRoot("/r");
  for (int i = 0; i < 300; ++i) AddPath(index, root, "d" + std::to_string(i % 9) + "/f" + std::to_string(i));
  index.PathRanks();
  EXPECT_FALSE(index.PathRanksStale());
  index.SetFacts(index.Find(root, "d1"), {0, 5});  // facts are not part of the path order
  EXPECT_FALSE(index.PathRanksStale());
  const TEntryId added = AddPath(index, root, "d3/added");
  EXPECT_TRUE(index.PathRanksStale());
  const TEntryId renamed = index.Find(index.Find(root, "d4"), "f4");
  index.Move(renamed, index.Find(root, "d0"), "a renamed file");
  const auto checkOrder = [&](bool expectUnranked) {
    const auto ranks = index.PathRanks();
    EXPECT_EQ((*ranks)[added] == TNameIndex::kUnranked, expectUnranked);
    EXPECT_EQ((*ranks)[renamed] == TNameIndex::kUnranked, expectUnranked);
    const TEntryId movedFolder = index.Find(root, "a5");
    if (movedFolder != kNoEntry) {
      EXPECT_EQ((*ranks)[index.Find(movedFolder, "f5")] == TNameIndex::kUnranked, expectUnranked);
    }
    std::vector<TEntryId> live;
    index.ForEachLive([&](TEntryId id) { live.push_back(id); });
    std::sort(live.begin(), live.end(), TEntryOrder(index, TSortKey::Path, true, *ranks));
    for (size_t i = 1; i < live.size(); ++i) ASSERT_LT(index.Path(live[i - 1]), index.Path(live[i]));
    EXPECT_FALSE(index.PathRanksStale());
  };
  checkOrder(true);
  index.Move(index.Find(root, "d5"), root, "a5");  // a folder: all paths under it change
  checkOrder(true);
  index.Move(index.Find(root, "d6"), index.Find(root, "a5"), "d6");  // and one into it
  checkOrder(true);
  for (size_t i = 0; i <= TNameIndex::kUnrankedLimit; ++i)
    index.Add(index.Find(root, "d7"), "more" + std::to_string(i), false);
  checkOrder(false);
}

}  // namespace
}  // namespace webtessl
