#include "tessel/SearchRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tessel/NameIndex.h"
#include "tests/tessel/IndexBuilder.h"

namespace webtessl {
namespace {

using testing_tessel::AddPath;
using TPaths = std::vector<std::string>;

class SearchRunTest : public ::testing::Test {
 protected:
  SearchRunTest() {
    root_ = index_.AddRoot("/r");
    for (const char* path : {"docs/Annual Report.pdf", "docs/report-draft.txt", "docs/reporting/",
                             "docs/notes.md", "music/Ärger im Paradies.mp3", "music/ÄRGER.txt",
                             "music/Ελληνικά.txt", "music/ПРИВЕТ мир.txt", "src/main.cpp",
                             "src/report.h", "src/old/report.cpp", "src/mainframe.c",
                             "weird/a\xff"
                             "b.txt"})
      AddPath(index_, root_, path);
  }

  TPaths Find(const TSearchQuery& query) { return RunSearch(index_, query).paths; }
  TPaths Find(const std::string& text) {
    TSearchQuery query;
    query.text = text;
    query.count = 1000;
    return Find(query);
  }

  TNameIndex index_;
  TEntryId root_ = kNoEntry;
};

TEST_F(SearchRunTest, EveryWordMustBeInTheNameUnlessAnyWordWillDo) {
  EXPECT_EQ(Find("report"), (TPaths{"/r/docs/Annual Report.pdf", "/r/docs/report-draft.txt",
                                    "/r/src/old/report.cpp", "/r/src/report.h"}));
  EXPECT_EQ(Find("report txt"), (TPaths{"/r/docs/report-draft.txt"}));
  TSearchQuery query;
  query.text = "notes main.cpp";
  query.anyWord = true;
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/notes.md", "/r/src/main.cpp"}));
  query.text = "nothing-like-it";
  EXPECT_TRUE(Find(query).empty());
}

TEST_F(SearchRunTest, QuotedPhrasesAreOneWord) {
  EXPECT_EQ(Find("\"annual report\""), (TPaths{"/r/docs/Annual Report.pdf"}));
  EXPECT_TRUE(Find("\"report annual\"").empty());
  EXPECT_EQ(Find("annual report"), (TPaths{"/r/docs/Annual Report.pdf"}));
}

TEST_F(SearchRunTest, CaseFoldsBeyondAsciiUnlessCaseMatters) {
  EXPECT_EQ(Find("ärger"), (TPaths{"/r/music/ÄRGER.txt", "/r/music/Ärger im Paradies.mp3"}));
  EXPECT_EQ(Find("ΕΛΛΗΝΙΚΆ"), (TPaths{"/r/music/Ελληνικά.txt"}));
  EXPECT_EQ(Find("привет"), (TPaths{"/r/music/ПРИВЕТ мир.txt"}));
  TSearchQuery query;
  query.text = "ÄRGER";
  query.caseSensitive = true;
  EXPECT_EQ(Find(query), (TPaths{"/r/music/ÄRGER.txt"}));
  query.text = "Report";
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/Annual Report.pdf"}));
}

TEST_F(SearchRunTest, WholeWordsNeedNonAlphanumericNeighbours) {
  TSearchQuery query;
  query.text = "report";
  query.wholeWords = true;
  query.count = 100;
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/Annual Report.pdf", "/r/docs/report-draft.txt",
                                 "/r/src/old/report.cpp", "/r/src/report.h"}));
  query.text = "main";
  EXPECT_EQ(Find(query), (TPaths{"/r/src/main.cpp"}));  // not mainframe.c
  query.text = "ärger";
  EXPECT_EQ(Find(query), (TPaths{"/r/music/ÄRGER.txt", "/r/music/Ärger im Paradies.mp3"}));
  query.text = "rger";  // "Ä" before it is a letter
  EXPECT_TRUE(Find(query).empty());
}

TEST_F(SearchRunTest, WordsWithASlashMatchTheFullPath) {
  EXPECT_EQ(Find("src/old"), (TPaths{"/r/src/old/report.cpp"}));
  EXPECT_EQ(Find("/r/docs/ notes"), (TPaths{"/r/docs/notes.md"}));
  EXPECT_EQ(Find("SRC/ report"), (TPaths{"/r/src/old/report.cpp", "/r/src/report.h"}));
}

TEST_F(SearchRunTest, FiltersAreWildcardListsOnTheName) {
  TSearchQuery query;
  query.filter = "*.TXT; *.md";
  query.count = 100;
  EXPECT_EQ(Find(query),
            (TPaths{"/r/docs/notes.md", "/r/docs/report-draft.txt", "/r/music/ÄRGER.txt",
                    "/r/music/Ελληνικά.txt", "/r/music/ПРИВЕТ мир.txt",
                    "/r/weird/a\xff"
                    "b.txt"}));
  query.filter = "main.?pp";
  EXPECT_EQ(Find(query), (TPaths{"/r/src/main.cpp"}));
  query.filter = "*******a*";
  query.text = "main";
  EXPECT_EQ(Find(query), (TPaths{"/r/src/main.cpp", "/r/src/mainframe.c"}));
  query.text.clear();
  query.filter = "a?b.txt";  // "?" takes the one byte that is not UTF-8
  EXPECT_EQ(Find(query), (TPaths{"/r/weird/a\xff"
                                 "b.txt"}));
}

TEST_F(SearchRunTest, FoldersLimitAndExcludeWhatIsFound) {
  TSearchQuery query;
  query.text = "report";
  query.dirs = {"/r/src"};
  EXPECT_EQ(Find(query), (TPaths{"/r/src/old/report.cpp", "/r/src/report.h"}));
  query.excludeDirs = {"/r/src/old/"};
  EXPECT_EQ(Find(query), (TPaths{"/r/src/report.h"}));
  query.dirs = {"/r/nowhere"};
  EXPECT_TRUE(Find(query).empty());
  query.dirs = {"/r/nowhere", "/r/docs"};
  query.excludeDirs = {};
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/Annual Report.pdf", "/r/docs/report-draft.txt"}));
}

TEST_F(SearchRunTest, TheNarrowingFolderOnlyEverNarrows) {
  TSearchQuery query;
  query.text = "report";
  query.within = "/r/src/";
  EXPECT_EQ(Find(query), (TPaths{"/r/src/old/report.cpp", "/r/src/report.h"}));
  query.dirs = {"/r/docs"};  // the search folders and the narrowing folder do not meet
  EXPECT_TRUE(Find(query).empty());
  query.dirs = {"/r"};
  query.excludeDirs = {"/r/src/old"};
  EXPECT_EQ(Find(query), (TPaths{"/r/src/report.h"}));
  query.excludeDirs = {};
  query.within = "/r/src/old";
  query.dirs = {"/r/src/old/report.cpp", "/r/src"};
  EXPECT_EQ(Find(query), (TPaths{"/r/src/old/report.cpp"}));
  query.dirs = {};
  for (const std::string folder : {"/r/nowhere", "/elsewhere", "relative/src", "/r/src/../docs"}) {
    query.within = folder;
    EXPECT_TRUE(Find(query).empty()) << folder;
  }
  query.within = "/r/src";
  query.includeDirs = true;  // the folder itself is no result of its own narrowing
  query.text = "old";
  EXPECT_EQ(Find(query), (TPaths{"/r/src/old"}));
  query.within = "/r/src/old";
  EXPECT_TRUE(Find(query).empty());
}

TEST_F(SearchRunTest, KindsAreFilesUnlessFoldersAreAskedFor) {
  TSearchQuery query;
  query.text = "reporting";
  EXPECT_TRUE(Find(query).empty());
  query.includeDirs = true;
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/reporting"}));
  query.text = "report";
  query.count = 100;
  EXPECT_EQ(Find(query), (TPaths{"/r/docs/reporting"}));
  query.includeFiles = true;
  EXPECT_EQ(Find(query).size(), 5u);
}

TEST_F(SearchRunTest, PagesCountAllMatches) {
  TSearchQuery query;
  query.from = 1;
  query.count = 2;
  const TSearchResult result = RunSearch(index_, query);
  EXPECT_EQ(result.count, 12u);  // every file
  EXPECT_EQ(result.paths, (TPaths{"/r/docs/notes.md", "/r/docs/report-draft.txt"}));
  query.from = 11;
  EXPECT_EQ(RunSearch(index_, query).paths, (TPaths{"/r/weird/a\xff"
                                                    "b.txt"}));
  query.from = 12;
  EXPECT_TRUE(RunSearch(index_, query).paths.empty());
  query.from = 0;
  query.count = 0;
  EXPECT_EQ(RunSearch(index_, query).count, 12u);
}

TEST_F(SearchRunTest, LargeMatchSetsArePagedInPathOrder) {
  for (int i = 0; i < 3000; ++i) AddPath(index_, root_, "bulk/f" + std::to_string(i) + ".dat");
  TSearchQuery query;
  query.text = ".dat";
  query.from = 1500;
  query.count = 3;
  const TSearchResult result = RunSearch(index_, query);
  EXPECT_EQ(result.count, 3000u);
  // In byte order "f2348" < "f2349" < "f235".
  EXPECT_EQ(result.paths, (TPaths{"/r/bulk/f2348.dat", "/r/bulk/f2349.dat", "/r/bulk/f235.dat"}));
}

TEST_F(SearchRunTest, EveryPageOfALargeMatchSetIsTheSliceOfTheSortedPaths) {
  TPaths all;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "g" + std::to_string((i * 7919) % 3000) + ".bin";
    AddPath(index_, root_, "bulk/" + name);
    all.push_back("/r/bulk/" + name);
  }
  std::sort(all.begin(), all.end());
  TSearchQuery query;
  query.text = ".bin";
  // Early pages (selected in one pass), pages deep inside and the last, short one.
  for (const int64_t from : {0, 1, 24, 350, 374, 375, 1200, 2990, 2999}) {
    query.from = from;
    query.count = 25;
    const size_t end = std::min<size_t>(all.size(), static_cast<size_t>(from) + 25);
    const TPaths expected(all.begin() + from, all.begin() + static_cast<std::ptrdiff_t>(end));
    EXPECT_EQ(RunSearch(index_, query).paths, expected) << "from " << from;
  }
}

TEST_F(SearchRunTest, OversizedQueriesGiveEmptyAnswersQuickly) {
  std::string manyWords;
  for (int i = 0; i < 10000; ++i) manyWords += "w" + std::to_string(i) + " ";
  TSearchQuery huge;
  huge.text = manyWords;
  EXPECT_EQ(RunSearch(index_, huge).count, 0u);
  huge.text = std::string(1 << 20, 'a');
  EXPECT_EQ(RunSearch(index_, huge).count, 0u);
  huge.text = std::string("a\0b", 3);
  EXPECT_EQ(RunSearch(index_, huge).count, 0u);
  huge.text.clear();
  huge.filter = std::string(1 << 20, '*') + "t";
  EXPECT_EQ(RunSearch(index_, huge).count, 5u);  // the names ending in .txt
}

TEST_F(SearchRunTest, WholeWordsEndAtAnyCharacterThatIsNoLetterMarkOrNumber) {
  for (const char* name : {"report€.txt", "report，final.txt", "note 😀.txt", "report².txt",
                           "report\u0301s.txt", "reportж.txt", "«report».txt"})
    AddPath(index_, root_, std::string("words/") + name);
  TSearchQuery query;
  query.dirs = {"/r/words"};
  query.wholeWords = true;
  query.count = 100;
  query.text = "report";
  EXPECT_EQ(Find(query), (TPaths{"/r/words/report€.txt", "/r/words/report，final.txt",
                                 "/r/words/«report».txt"}));
  query.text = "note";
  EXPECT_EQ(Find(query), (TPaths{"/r/words/note 😀.txt"}));
}

TEST_F(SearchRunTest, CaseIsFoldedInEveryScript) {
  for (const char* name : {"STRAẞE.txt", "ἈΘΉΝΑ.txt", "ＡＢＣ.txt"}) AddPath(index_, root_, name);
  EXPECT_EQ(Find("straße"), (TPaths{"/r/STRAẞE.txt"}));
  EXPECT_EQ(Find("ἀθήνα"), (TPaths{"/r/ἈΘΉΝΑ.txt"}));
  EXPECT_EQ(Find("ａｂｃ"), (TPaths{"/r/ＡＢＣ.txt"}));
}

TEST_F(SearchRunTest, ASearchPastItsDeadlineAnswersWhatItHasMarkedAsCut) {
  for (int i = 0; i < 10000; ++i) AddPath(index_, root_, "many/m" + std::to_string(i));
  TSearchQuery query;
  query.text = "m";
  const TSearchResult whole = RunSearch(index_, query);
  EXPECT_FALSE(whole.cut);
  EXPECT_GE(whole.count, 10000u);
  const TSearchResult cut = RunSearch(index_, query, std::chrono::steady_clock::now());
  EXPECT_TRUE(cut.cut);
  EXPECT_LT(cut.count, whole.count);
  EXPECT_EQ(cut.paths.size(), 25u);
  query.filter = "*1*;*2*";  // several literals: the candidates are gathered first
  EXPECT_TRUE(RunSearch(index_, query, std::chrono::steady_clock::now()).cut);
}

// Beyond a quarter million ids the index is searched in two halves at once; together they must
// find exactly what one pass finds, in the same order, whatever straddles their border.
TEST_F(SearchRunTest, AnIndexSearchedInTwoHalvesFindsWhatOnePassWould) {
  constexpr int kFiles = 300000;
  const TEntryId bulk = index_.Add(root_, "bulk", true);
  for (int i = 0; i < kFiles; ++i) index_.Add(bulk, "n" + std::to_string(i), false);
  // Renamed names leave stale records in the arena.
  for (int i = 0; i < kFiles; i += 1000)
    index_.Move(index_.Find(bulk, "n" + std::to_string(i)), bulk, "moved" + std::to_string(i));
  TPaths withTwelve;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = (i % 1000 == 0 ? "moved" : "n") + std::to_string(i);
    if (name.find("12") != std::string::npos) withTwelve.push_back("/r/bulk/" + name);
  }
  std::sort(withTwelve.begin(), withTwelve.end());
  TSearchQuery query;
  query.text = "12";
  query.count = static_cast<int64_t>(withTwelve.size());
  const TSearchResult found = RunSearch(index_, query);
  EXPECT_EQ(found.count, withTwelve.size());
  EXPECT_EQ(found.paths, withTwelve);
  TSearchQuery everything;
  everything.text = "";
  EXPECT_EQ(RunSearch(index_, everything).count, static_cast<size_t>(kFiles) + 12u);
  TSearchQuery moved;
  moved.filter = "moved*";
  EXPECT_EQ(RunSearch(index_, moved).count, static_cast<size_t>(kFiles / 1000));
}

// A tree of files with sizes and dates, and the expected order of any key computed apart.
class SearchRunSortTest : public ::testing::Test {
 protected:
  struct TFile {
    std::string path;
    std::string foldedName;
    TEntryFacts facts;
  };

  SearchRunSortTest() { root_ = index_.AddRoot("/s"); }

  void Add(const std::string& relative, const std::string& foldedName, TEntryFacts facts) {
    const TEntryId id = AddPath(index_, root_, relative);
    index_.SetFacts(id, facts);
    files_.push_back({"/s/" + relative, foldedName, facts});
  }

  // Adds `count` files with few distinct sizes and dates, so that ties abound.
  void AddMany(int count) {
    std::mt19937 random(11);
    for (int i = 0; i < count; ++i) {
      const std::string name = "f" + std::to_string(random() % 100000) + "_" + std::to_string(i);
      Add("d" + std::to_string(i % 7) + "/" + name, name,
          {random() % 50, static_cast<int64_t>(1600000000 + random() % 40)});
    }
  }

  TPaths Expected(TSortKey key, bool ascending) const {
    std::vector<TFile> sorted = files_;
    const auto keyOf = [key](const TFile& file) {
      switch (key) {
        case TSortKey::Size:
          return std::to_string(1000000000000 + file.facts.size);
        case TSortKey::Date:
          return std::to_string(1000000000000 + file.facts.modified);
        case TSortKey::Name:
          return file.foldedName;
        case TSortKey::Path:
          break;
      }
      return file.path;
    };
    std::sort(sorted.begin(), sorted.end(), [&](const TFile& a, const TFile& b) {
      const std::string ka = keyOf(a);
      const std::string kb = keyOf(b);
      if (ka != kb) return ascending ? ka < kb : kb < ka;
      return a.path < b.path;  // ties: forward path order
    });
    TPaths paths;
    for (const TFile& file : sorted) paths.push_back(file.path);
    return paths;
  }

  // Every page of `pageSize` in the order asked for, joined.
  TPaths AllPages(TSearchQuery query, size_t pageSize) const {
    TPaths joined;
    query.count = static_cast<int64_t>(pageSize);
    for (query.from = 0;; query.from += query.count) {
      const TSearchResult result = RunSearch(index_, query);
      EXPECT_EQ(result.count, files_.size());
      EXPECT_EQ(result.facts.size(), result.paths.size());
      if (result.paths.empty()) break;
      joined.insert(joined.end(), result.paths.begin(), result.paths.end());
    }
    return joined;
  }

  // The entry of a path below the root "/s".
  TEntryId ResolvePath(const std::string& path) const {
    TEntryId entry = root_;
    for (size_t start = 3; start < path.size();) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      entry = index_.Find(entry, std::string_view(path).substr(start, end - start));
      start = end + 1;
    }
    return entry;
  }

  TNameIndex index_;
  TEntryId root_ = kNoEntry;
  std::vector<TFile> files_;
};

TEST_F(SearchRunSortTest, EachKeyInBothDirectionsWithTiesInPathOrder) {
  Add("b/big.iso", "big.iso", {900, 100});
  Add("a/Zeta.txt", "zeta.txt", {5, 300});
  Add("a/alpha.txt", "alpha.txt", {5, 200});
  Add("c/alpha.txt", "alpha.txt", {0, 300});
  Add("b/Mid.doc", "mid.doc", {40, 250});
  for (const TSortKey key : {TSortKey::Path, TSortKey::Name, TSortKey::Size, TSortKey::Date}) {
    for (const bool ascending : {true, false}) {
      TSearchQuery query;
      query.sort = key;
      query.ascending = ascending;
      query.count = 100;
      const TSearchResult result = RunSearch(index_, query);
      EXPECT_EQ(result.paths, Expected(key, ascending))
          << static_cast<int>(key) << " ascending " << ascending;
    }
  }
  TSearchQuery bySize;
  bySize.sort = TSortKey::Size;
  bySize.ascending = false;
  bySize.count = 2;
  const TSearchResult top = RunSearch(index_, bySize);
  EXPECT_EQ(top.paths, (TPaths{"/s/b/big.iso", "/s/b/Mid.doc"}));
  EXPECT_EQ(top.facts, (std::vector<TEntryFacts>{{900, 100}, {40, 250}}));
}

TEST_F(SearchRunSortTest, PagesOfALargeSortedSetFollowEachOtherWithoutGapOrRepeat) {
  AddMany(5000);  // beyond the few matches whose paths are compared directly
  for (const TSortKey key : {TSortKey::Path, TSortKey::Name, TSortKey::Size, TSortKey::Date}) {
    for (const bool ascending : {true, false}) {
      TSearchQuery query;
      query.sort = key;
      query.ascending = ascending;
      const TPaths expected = Expected(key, ascending);
      EXPECT_EQ(AllPages(query, 437), expected) << static_cast<int>(key) << " " << ascending;
      // A first page is selected in one pass; one deep inside by partitioning.
      query.count = 25;
      query.from = 0;
      EXPECT_EQ(RunSearch(index_, query).paths, TPaths(expected.begin(), expected.begin() + 25));
      query.from = 3100;
      EXPECT_EQ(RunSearch(index_, query).paths,
                TPaths(expected.begin() + 3100, expected.begin() + 3125));
    }
  }
}

TEST_F(SearchRunSortTest, SortingAppliesToTheMatchesOnly) {
  AddMany(3000);
  Add("z/huge report.pdf", "huge report.pdf", {1 << 30, 5});
  Add("z/tiny report.pdf", "tiny report.pdf", {1, 2000000000});
  TSearchQuery query;
  query.filter = "*.pdf";
  query.sort = TSortKey::Date;
  query.ascending = false;
  EXPECT_EQ(RunSearch(index_, query).paths,
            (TPaths{"/s/z/tiny report.pdf", "/s/z/huge report.pdf"}));
  query.text = "report";
  query.sort = TSortKey::Size;
  EXPECT_EQ(RunSearch(index_, query).paths.front(), "/s/z/huge report.pdf");
}

// Early pages come from the presorted head of each order, kept up to date through changes: after
// additions, renames, new sizes and dates, removals and a folder's move, every first and later
// page is still the slice of the order computed apart.
TEST_F(SearchRunSortTest, SortedPagesStayExactThroughChanges) {
  AddMany(3000);
  const auto checkAll = [&](const char* after) {
    for (const TSortKey key : {TSortKey::Path, TSortKey::Name, TSortKey::Size, TSortKey::Date}) {
      for (const bool ascending : {true, false}) {
        const TPaths expected = Expected(key, ascending);
        TSearchQuery query;
        query.sort = key;
        query.ascending = ascending;
        for (const size_t from : {size_t{0}, size_t{1000}}) {
          query.from = static_cast<int64_t>(from);
          const TSearchResult result = RunSearch(index_, query);
          EXPECT_EQ(result.count, files_.size());
          EXPECT_EQ(result.paths, TPaths(expected.begin() + static_cast<ptrdiff_t>(from),
                                         expected.begin() + static_cast<ptrdiff_t>(from) + 25))
              << after << ": key " << static_cast<int>(key) << " ascending " << ascending;
        }
      }
    }
  };
  checkAll("first");
  for (int i = 0; i < 40; ++i)
    Add("new/n" + std::to_string(i), "n" + std::to_string(i), {static_cast<uint64_t>(i), 1600000000 + i});
  checkAll("additions");
  for (size_t i = 0; i < 30; ++i) {
    TFile& file = files_[i * 7];
    const std::string name = "0renamed" + std::to_string(i);
    index_.Move(index_.Find(index_.Find(root_, file.path.substr(3, 2)), file.path.substr(6)),
                root_, name);
    file = {"/s/" + name, name, file.facts};
  }
  checkAll("renames");
  for (size_t i = 0; i < files_.size(); i += 11) {
    TFile& file = files_[i];
    file.facts = {file.facts.size + 1000, file.facts.modified - 500};
    index_.SetFacts(ResolvePath(file.path), file.facts);
  }
  checkAll("new facts");
  std::vector<TEntryId> gone;
  for (size_t i = files_.size(); i-- > 0;) {
    if (i % 13 == 5) {
      gone.push_back(ResolvePath(files_[i].path));
      files_.erase(files_.begin() + static_cast<ptrdiff_t>(i));
    }
  }
  index_.Remove(gone);
  checkAll("removals");
  index_.Move(index_.Find(root_, "d3"), root_, "a3");
  for (TFile& file : files_) {
    if (file.path.starts_with("/s/d3/")) file.path.replace(3, 2, "a3");
  }
  checkAll("a folder's move");
}

// An index larger than the presorted head: a page that the head does not hold (the matches lie at
// the far end of the order) is selected from all matches instead.
TEST_F(SearchRunSortTest, PagesBeyondTheHeadOfTheOrderAreSelectedFromAllMatches) {
  for (int i = 0; i < 70000; ++i) {
    const bool pdf = i % 500 == 0;
    const std::string name = "g" + std::to_string(i) + (pdf ? ".pdf" : ".dat");
    // The pdf files are the smallest and oldest of all.
    Add("h" + std::to_string(i % 13) + "/" + name, name,
        {static_cast<uint64_t>(pdf ? i % 7 : 100 + i % 1000),
         pdf ? 1000 + i % 5 : 1600000000 + i % 3000});
  }
  std::vector<TFile> pdfs;
  std::copy_if(files_.begin(), files_.end(), std::back_inserter(pdfs),
               [](const TFile& file) { return file.path.ends_with(".pdf"); });
  for (const TSortKey key : {TSortKey::Size, TSortKey::Date}) {
    TSearchQuery query;
    query.sort = key;
    query.ascending = false;
    // All files: the head holds the first page.
    TPaths all = Expected(key, false);
    EXPECT_EQ(RunSearch(index_, query).paths, TPaths(all.begin(), all.begin() + 25));
    query.filter = "*.pdf";
    files_.swap(pdfs);
    const TPaths expected = Expected(key, false);
    files_.swap(pdfs);
    const TSearchResult result = RunSearch(index_, query);
    EXPECT_EQ(result.count, expected.size());
    EXPECT_EQ(result.paths, TPaths(expected.begin(), expected.begin() + 25));
  }
}

}  // namespace
}  // namespace webtessl
