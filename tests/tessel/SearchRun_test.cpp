#include "tessel/SearchRun.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
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

}  // namespace
}  // namespace webtessl
