// The tessel program as the server meets it: a real process, queried through the desktop
// message layer.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/DesktopMessages.h"
#include "search/ProcessCommunicator.h"
#include "tests/tessel/TesselProcess.h"
#include "tests/tessel/TesselTesting.h"

namespace webtessl {
namespace {

using testing_desktop::Eventually;
using testing_tessel::Search;
using testing_tessel::TAnswer;
using testing_tessel::TQuery;
using testing_tessel::TTesselProcess;
using testing_tessel::TTesselScene;
using TPaths = std::vector<std::string>;

constexpr char kIndexedLine[] = "tessel: indexed ";
// Printed once the sizes and dates of the first scan are read too.
constexpr char kFactsReadLine[] = "tessel: sizes and dates read ";

bool HasFile(const TAnswer& answer, const std::string& path) {
  return std::find(answer.files.begin(), answer.files.end(), path) != answer.files.end();
}

// Whether the answer about a single file reports the size and modification second it has now.
bool ReportsFactsOnDisk(const TAnswer& answer, const std::string& path) {
  struct stat info {};
  if (answer.files != TPaths{path} || ::stat(path.c_str(), &info) != 0) return false;
  return answer.sizes[0] == info.st_size && answer.times[0] == info.st_mtim.tv_sec;
}

void SetModified(const std::string& path, int64_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class TesselProgramTest : public ::testing::Test {
 protected:
  TTesselScene scene_;
};

TEST_F(TesselProgramTest, AnswersFromTheTreeItIndexed) {
  const std::string report = scene_.AddFile("docs/Quarterly Report.txt");
  const std::string greek = scene_.AddFile("docs/Ελληνικά report.md");
  scene_.AddFile("docs/.hidden report");
  scene_.AddFile(".secret/report.txt");
  scene_.AddFile("other/notes.txt");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  const TAnswer answer = Search({.text = "REPORT"});
  ASSERT_TRUE(answer.arrived);
  EXPECT_EQ(answer.files, (TPaths{report, greek}));
  EXPECT_EQ(answer.count, 2);
  EXPECT_FALSE(answer.indexing);
  EXPECT_EQ(Search({.text = "ελληνικά"}).files, (TPaths{greek}));
  const TAnswer folders = Search({.text = "docs", .includeDirs = true});
  EXPECT_EQ(folders.files, (TPaths{scene_.Path("docs")}));
}

TEST_F(TesselProgramTest, ChangesReachAnswersWithinASecond) {
  scene_.AddFile("project/src/old.c");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  const auto within = [](const std::function<bool()>& condition) {
    const auto start = std::chrono::steady_clock::now();
    const bool held = Eventually(condition);
    return held && testing_desktop::ElapsedMs(start) < 1000;
  };
  const std::string created = scene_.AddFile("project/src/fresh.c");
  EXPECT_TRUE(within([&] { return HasFile(Search({.text = "fresh"}), created); }));
  std::filesystem::remove(created);
  EXPECT_TRUE(within([&] { return Search({.text = "fresh"}).count == 0; }));
  // A folder moved: what is in it is found under its new path, and not under the old one.
  std::filesystem::rename(scene_.Path("project"), scene_.Path("renamed"));
  EXPECT_TRUE(within(
      [&] { return Search({.text = "old.c"}).files == TPaths{scene_.Path("renamed/src/old.c")}; }));
  // A folder made after the start is watched too.
  const std::string deep = scene_.AddFile("renamed/new/deeper/leaf.txt");
  EXPECT_TRUE(within([&] { return HasFile(Search({.text = "leaf"}), deep); }));
}

TEST_F(TesselProgramTest, OnlyOneRunsOfSeveralStartedAtOnce) {
  std::vector<std::unique_ptr<TTesselProcess>> started;
  for (int i = 0; i < 5; ++i) started.push_back(std::make_unique<TTesselProcess>());
  int leftAtOnce = 0;
  for (auto& process : started) {
    if (const auto code = process->Wait(3000)) {
      EXPECT_EQ(*code, 0);
      ++leftAtOnce;
    }
  }
  EXPECT_EQ(leftAtOnce, 4);
  EXPECT_NE(FindWindow(kUtilWindowClass, "AI_Tessel_RPC_Server"), 0u);
  EXPECT_TRUE(Search({}).arrived);
}

TEST_F(TesselProgramTest, SigtermEndsItCleanlyAndTakesTheWindowAway) {
  TTesselProcess tessel;
  ASSERT_TRUE(Eventually([] { return FindWindow(kUtilWindowClass, "AI_Tessel_RPC_Server") != 0; }));
  tessel.Signal(SIGTERM);
  EXPECT_EQ(tessel.Wait(5000), std::optional<int>(0));
  EXPECT_EQ(FindWindow(kUtilWindowClass, "AI_Tessel_RPC_Server"), 0u);
}

TEST_F(TesselProgramTest, BadMessagesGetEmptyAnswersOrNone) {
  scene_.AddFile("a.txt");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  const TAnswer garbage = testing_tessel::ReadAnswer(testing_tessel::Ask("{not json"));
  EXPECT_TRUE(garbage.arrived);
  EXPECT_EQ(garbage.count, 0);
  EXPECT_TRUE(garbage.files.empty());
  EXPECT_FALSE(testing_tessel::Ask("{\"cmd\":1}", 500).has_value());
  const TAnswer negative = Search({.from = -1});
  EXPECT_EQ(negative.count, 0);
  EXPECT_TRUE(Search({.count = -5}).files.empty());
  const TAnswer huge = Search({.text = std::string(1 << 20, 'a')});
  EXPECT_TRUE(huge.arrived);
  EXPECT_EQ(huge.count, 0);
  EXPECT_EQ(Search({.text = "a.txt"}).count, 1);  // still serving
}

TEST_F(TesselProgramTest, FoldersOutsideTheRootsAreIndexedOnFirstUse) {
  testing_support::TempFolder outside;
  const std::string file = outside.Write("elsewhere.txt", "x");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  EXPECT_EQ(Search({.text = "elsewhere"}).count, 0);
  const TAnswer first = Search({.text = "elsewhere", .dirs = outside.Path().string()});
  EXPECT_EQ(first.files, (TPaths{file}));
  // Kept: found without naming the folder, and kept fresh.
  EXPECT_EQ(Search({.text = "elsewhere"}).files, (TPaths{file}));
  const std::string later = outside.Write("elsewhere2.txt", "x");
  EXPECT_TRUE(Eventually([&] { return HasFile(Search({.text = "elsewhere"}), later); }));
}

TEST_F(TesselProgramTest, UnwatchedFoldersAreReadAgainPeriodically) {
  scene_.WriteSettings("roots=" + scene_.Root() + "\nmaxwatches=1\nrescanseconds=1");
  scene_.AddFile("sub/first.txt");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  EXPECT_NE(tessel.Errors().find("watch limit"), std::string::npos) << tessel.Errors();
  EXPECT_EQ(tessel.Errors().find("watch limit"), tessel.Errors().rfind("watch limit"));
  const std::string later = scene_.AddFile("sub/later.txt");
  EXPECT_TRUE(Eventually([&] { return HasFile(Search({.text = "later"}), later); }));
  std::filesystem::remove(later);
  EXPECT_TRUE(Eventually([&] { return Search({.text = "later"}).count == 0; }));
}

TEST_F(TesselProgramTest, HostileTreesAreIndexedWithoutHarm) {
  scene_.AddFile("loop/inside.txt");
  std::filesystem::create_directory_symlink(scene_.Path("loop"), scene_.Path("loop/again"));
  scene_.AddFile("bad/name-\xff\xfe.txt");
  std::filesystem::create_directories(scene_.Path("many"));
  for (int i = 0; i < 100000; ++i) std::ofstream(scene_.Path("many/f" + std::to_string(i)));
  scene_.WriteSettings("roots=" + scene_.Root() + ";/does/not/exist");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine, 60000)) << tessel.Errors();
  EXPECT_EQ(Search({.text = "inside"}).files, (TPaths{scene_.Path("loop/inside.txt")}));
  // The link itself is a file entry; nothing is found through it.
  EXPECT_EQ(Search({.text = "again"}).count, 1);
  const TAnswer bad = Search({.text = "name-"});
  EXPECT_EQ(bad.count, 1);  // its bytes that are not UTF-8 come back replaced
  const TAnswer many = Search({.text = "f9999", .count = 3});
  EXPECT_EQ(many.count, 11);  // f9999 and f99990 to f99999
  EXPECT_EQ(many.files, (TPaths{scene_.Path("many/f9999"), scene_.Path("many/f99990"),
                                scene_.Path("many/f99991")}));
}

TEST_F(TesselProgramTest, SizesAndDatesFollowWritesTruncationTouchAndReplacement) {
  const std::string file = scene_.AddFile("facts/ledger.csv");
  SetModified(file, 1000000000);
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kFactsReadLine)) << tessel.Errors();
  const TAnswer first = Search({.text = "ledger"});
  ASSERT_EQ(first.files, TPaths{file});
  EXPECT_EQ(first.sizes, (std::vector<int64_t>{1}));
  EXPECT_EQ(first.times, (std::vector<int64_t>{1000000000}));
  const auto within = [&](const char* change) {
    const auto start = std::chrono::steady_clock::now();
    const bool held = Eventually([&] { return ReportsFactsOnDisk(Search({.text = "ledger"}), file); });
    EXPECT_TRUE(held && testing_desktop::ElapsedMs(start) < 1000) << change;
  };
  std::ofstream(file, std::ios::app) << std::string(5000, 'w');
  within("written");
  std::filesystem::resize_file(file, 12);
  within("truncated");
  SetModified(file, 1234567890);
  within("touched");
  const std::string replacement = scene_.AddFile("facts/.ledger.tmp");
  std::ofstream(replacement) << std::string(777, 'r');
  SetModified(replacement, 1500000000);
  std::filesystem::rename(replacement, file);
  within("replaced by a rename");
  EXPECT_EQ(Search({.text = "ledger"}).sizes, (std::vector<int64_t>{777}));
}

TEST_F(TesselProgramTest, SortedSearchesPageThroughTheWholeMatchSet) {
  std::vector<std::string> bySize;
  for (int i = 0; i < 12; ++i) {
    const std::string file = scene_.AddFile("sorted/item" + std::to_string(i) + ".dat");
    std::ofstream(file) << std::string(static_cast<size_t>((i * 5) % 12) * 100, 'x');
    SetModified(file, 1600000000 + i);
  }
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kFactsReadLine)) << tessel.Errors();
  // Largest first by default; newest first by default; a page at a time.
  std::vector<int64_t> sizes;
  for (int64_t from = 0; from < 12; from += 5) {
    const TAnswer page = Search({.text = "item", .from = from, .count = 5, .sort = "size"});
    EXPECT_EQ(page.count, 12);
    sizes.insert(sizes.end(), page.sizes.begin(), page.sizes.end());
  }
  std::vector<int64_t> expected;
  for (int i = 11; i >= 0; --i) expected.push_back(i * 100);
  EXPECT_EQ(sizes, expected);
  EXPECT_EQ(Search({.text = "item", .count = 1, .sort = "date"}).files,
            TPaths{scene_.Path("sorted/item11.dat")});
  EXPECT_EQ(Search({.text = "item", .count = 1, .sort = "date", .ascending = 1}).files,
            TPaths{scene_.Path("sorted/item0.dat")});
  EXPECT_EQ(Search({.text = "item", .count = 2, .sort = "name", .ascending = 0}).files,
            (TPaths{scene_.Path("sorted/item9.dat"), scene_.Path("sorted/item8.dat")}));
  EXPECT_EQ(Search({.text = "item", .count = 1, .sort = "path", .ascending = 0}).files,
            TPaths{scene_.Path("sorted/item9.dat")});
  EXPECT_EQ(Search({.text = "item", .count = 1, .sort = "bogus"}).files,
            TPaths{scene_.Path("sorted/item0.dat")});
}

TEST_F(TesselProgramTest, AFolderNamedByTheQueryNeverUncoversHiddenEntries) {
  scene_.AddFile(".private/secret report.txt");
  scene_.AddFile("open/.inner/secret notes.txt");
  testing_support::TempFolder outside;
  std::filesystem::create_directories(outside.Path() / ".stash");
  outside.Write(".stash/secret plan.txt", "x");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  for (const std::string& folder :
       {scene_.Path(".private"), scene_.Path("open/.inner"), outside.Path().string() + "/.stash",
        scene_.Path(".private") + ";" + outside.Path().string() + "/.stash"}) {
    const TAnswer answer = Search({.text = "secret", .dirs = folder});
    EXPECT_TRUE(answer.arrived) << folder;
    EXPECT_EQ(answer.count, 0) << folder;
  }
  // Neither did asking make them part of the index.
  EXPECT_EQ(Search({.text = "secret"}).count, 0);
}

TEST_F(TesselProgramTest, QueriesFromManySendersAtOnceAreAllAnswered) {
  for (int i = 0; i < 50; ++i) scene_.AddFile("crowd/member" + std::to_string(i) + ".txt");
  TTesselProcess tessel;
  ASSERT_TRUE(tessel.WaitForErrors(kIndexedLine)) << tessel.Errors();
  std::vector<std::thread> senders;
  std::atomic<int> right{0};
  for (int sender = 0; sender < 8; ++sender) {
    senders.emplace_back([&, sender] {
      for (int round = 0; round < 10; ++round) {
        const std::string name = "member" + std::to_string((sender * 10 + round) % 50) + ".txt";
        const TAnswer answer = Search({.text = name, .sort = "size"});
        if (answer.files == TPaths{scene_.Path("crowd/" + name)}) ++right;
      }
    });
  }
  for (std::thread& sender : senders) sender.join();
  EXPECT_EQ(right, 80);
}

}  // namespace
}  // namespace webtessl
