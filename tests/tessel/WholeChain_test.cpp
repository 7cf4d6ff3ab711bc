// The whole chain as a browser meets it: the real server, started with a private configuration
// and desktop, launches the real tessel on its first search, and later searches answer with the
// files of a temporary tree, completed from the file system, as JSON and HTML; the answers' links
// download the files. Every tessel the test caused to start is ended with it.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "json/superobject.h"
#include "tests/files/FileServiceTesting.h"
#include "tests/support/ChildProcess.h"
#include "tests/tessel/TesselTesting.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

using namespace std::chrono_literals;
using testing_support::TChildProcess;
using testing::TReply;
using testing_tessel::TTesselScene;

const std::string kBuildDir = WEBTESSL_BUILD_DIR;
constexpr auto kLaunchLimit = 30s;  // generous: the machine may be busy with other tests
constexpr auto kFreshLimit = 5s;    // a file made under the root is found within this
constexpr auto kStopLimit = 5s;     // a tessel still there after SIGTERM gets SIGKILL
constexpr auto kPollPause = 100ms;

// Every file of the tree carries this last-write time (local time): 2009-06-15 14:05:09, which
// the answers give as text and as wall-clock seconds counted as if they were UTC.
constexpr char kFixedTimeText[] = "2009-06-15 14:05:09";
constexpr int64_t kFixedTimeSeconds = 1245074709;

// The whole file, or what was read of it before a failure: a process that ends while its
// /proc files are read fails the read (ESRCH), which the stream raises as an exception.
std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
  }
  return text;
}

// The tessel processes on a desktop: programs named tessel whose environment names that
// desktop folder. One that has ended shows no environment any more, so it is not counted.
std::vector<pid_t> TesselsOnDesktop(const std::string& desktop) {
  const std::string mark = std::string("WEBTESSL_DESKTOP=") + desktop;
  std::vector<pid_t> found;
  std::error_code error;
  for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadFile(entry->path() / "comm") != "tessel\n") continue;
    std::istringstream environment(ReadFile(entry->path() / "environ"));
    for (std::string variable; std::getline(environment, variable, '\0');) {
      if (variable == mark) found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
  }
  return found;
}

// What the process's descriptors above standard error refer to ("socket:[123]", a file path),
// by descriptor number.
std::map<int, std::string> OpenDescriptors(pid_t pid) {
  std::map<int, std::string> open;
  const std::filesystem::path folder = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const int fd = std::stoi(entry->path().filename().string());
    std::error_code unreadable;
    const std::filesystem::path target = std::filesystem::read_symlink(entry->path(), unreadable);
    if (fd > STDERR_FILENO && !unreadable) open[fd] = target.string();
  }
  return open;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(kPollPause);
  }
  return true;
}

// Ends, at the latest when it goes, every tessel that runs on the desktop: SIGTERM, then SIGKILL
// for one that lingers. The server launches tessel in a session of its own, so it is no child of
// the test and would otherwise outlive it. Stop the server first, so that none is launched anew.
class TTesselReaper {
 public:
  explicit TTesselReaper(std::string desktop) : desktop_(std::move(desktop)) {}
  ~TTesselReaper() { StopAll(); }
  TTesselReaper(const TTesselReaper&) = delete;
  TTesselReaper& operator=(const TTesselReaper&) = delete;

  // True when every tessel ended on SIGTERM within the limit (none lingered).
  bool StopAll() const {
    if (SignalUntilGone(SIGTERM, kStopLimit)) return true;
    SignalUntilGone(SIGKILL, kStopLimit);
    return false;
  }

 private:
  bool SignalUntilGone(int signal, std::chrono::milliseconds limit) const {
    return WaitUntil(
        [&] {
          const std::vector<pid_t> running = TesselsOnDesktop(desktop_);
          for (const pid_t pid : running) ::kill(pid, signal);
          return running.empty();
        },
        limit);
  }

  std::string desktop_;
};

// One result of a JSON answer, as the test compares it.
struct TResult {
  std::string file;
  std::string dir;
  int64_t size = -1;
  std::string sizestr;
  std::string timestr;
  int64_t time = -1;
  bool hasFileName = false;
};

struct TJsonAnswer {
  bool parsed = false;
  bool indexing = false;
  int64_t count = -1;
  std::vector<TResult> results;

  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const TResult& result : results) files.push_back(result.file);
    return files;
  }
};

TJsonAnswer ReadJsonAnswer(const std::string& body) {
  TJsonAnswer answer;
  const ISuperObject object = ParseJsonText(FromSystemCodePage(body));
  const auto results = object ? object->MemberArray(u"results") : nullptr;
  if (!results) return answer;
  answer.parsed = true;
  answer.indexing = object->Member(u"indexing") != nullptr;
  if (const ISuperObject count = object->Member(u"count")) answer.count = count->AsInteger();
  for (size_t index = 0; index < results->Length(); ++index) {
    const ISuperObject element = results->ElementAt(index);
    const auto integer = [&](std::u16string_view name) {
      const ISuperObject member = element->Member(name);
      return member ? member->AsInteger() : -1;
    };
    answer.results.push_back({ToSystemCodePage(element->MemberText(u"file")),
                              ToSystemCodePage(element->MemberText(u"dir")), integer(u"size"),
                              ToSystemCodePage(element->MemberText(u"sizestr")),
                              ToSystemCodePage(element->MemberText(u"timestr")), integer(u"time"),
                              element->Member(u"FileName") != nullptr});
  }
  return answer;
}

// The download links of an HTML answer, in row order.
std::vector<std::string> DownloadLinks(const std::string& html) {
  const std::string open = "<a href=\"";
  std::vector<std::string> links;
  for (size_t at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
    at += open.size();
    links.push_back(html.substr(at, html.find('"', at) - at));
  }
  return links;
}

void SetFixedTime(const std::string& path) {
  std::tm fields{};
  fields.tm_year = 2009 - 1900;
  fields.tm_mon = 5;
  fields.tm_mday = 15;
  fields.tm_hour = 14;
  fields.tm_min = 5;
  fields.tm_sec = 9;
  fields.tm_isdst = -1;
  const timespec stamp{std::mktime(&fields), 0};
  const timespec times[2] = {stamp, stamp};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class WholeChainTest : public ::testing::Test {
 protected:
  // Three files that all hold the word "report" (a space, a "<" and a non-ASCII letter in their
  // names, 2 KiB each), a folder whose name holds it too, and a file that does not.
  WholeChainTest() {
    for (const std::string& name : {std::string(kQuarterly), std::string(kAngle),
                                    std::string(kCafe), std::string("report archive/notes.txt")}) {
      const std::filesystem::path path = scene_.Path(name);
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary) << Content(name);
      SetFixedTime(path.string());
    }
  }

  static constexpr char kQuarterly[] = "Quarterly Report.txt";
  static constexpr char kAngle[] = "a<b report.txt";
  static constexpr char kCafe[] = "caf\xC3\xA9 report.md";

  // 2 KiB that tell which file they are in.
  static std::string Content(const std::string& name) {
    std::string content = name + "\n";
    content.resize(2048, '.');
    return content;
  }

  // Starts the server with its configuration in the scene's folder: a free port, the tree as
  // its only search folder (and so the only place downloads may come from).
  void StartServer() {
    const std::filesystem::path config =
        std::filesystem::path(scene_.ConfigFolder()) / "WebTessl" / "config.ini";
    std::filesystem::create_directories(config.parent_path());
    std::ofstream(config) << "[server]\nport=" << port_ << "\n[settings]\ndirs=" << scene_.Root()
                          << "\n";
    server_ = std::make_unique<TChildProcess>(std::vector<std::string>{kBuildDir + "/webtessl"},
                                              testing_support::TChildSettings::Typed());
    ASSERT_TRUE(server_->Started());
    ASSERT_TRUE(server_->WaitForOutput("Done.\n")) << server_->Output();
  }

  // Stops the server with SIGTERM (it stops cleanly and exits 0), then every tessel it started.
  void StopAll() {
    if (server_) {
      server_->Signal(SIGTERM);
      EXPECT_EQ(server_->Wait(), 0);
    }
    EXPECT_TRUE(reaper_.StopAll()) << "a tessel lingered after SIGTERM";
    EXPECT_TRUE(TesselsOnDesktop(scene_.Desktop()).empty());
  }

  TReply Get(const std::string& target) {
    TReply reply = testing::Get(port_, target);
    server_->ReadWaitingOutput();
    return reply;
  }

  // Asks until an answer of status 200 satisfies the condition, or the limit passes; the last
  // answer.
  TReply AwaitAnswer(const std::string& target, const std::function<bool(const TReply&)>& condition,
                     std::chrono::milliseconds limit) {
    TReply reply;
    WaitUntil(
        [&] {
          reply = Get(target);
          return reply.Status == 200 && condition(reply);
        },
        limit);
    return reply;
  }

  // The first search launches tessel and answers 404; a later one gets tessel's answer once its
  // first scan of the tree is done.
  void LaunchTessel() {
    const TReply first = Get("/find?term=report&format=json");
    EXPECT_EQ(first.Status, 404);
    EXPECT_TRUE(first.Body.empty());
    const TReply ready = AwaitAnswer(
        "/find?term=report&format=json",
        [](const TReply& reply) { return !ReadJsonAnswer(reply.Body).indexing; }, kLaunchLimit);
    ASSERT_EQ(ready.Status, 200) << "tessel did not answer after launch";
    // Searches that found no window while tessel came up each launched one; all but one left.
    EXPECT_TRUE(
        WaitUntil([&] { return TesselsOnDesktop(scene_.Desktop()).size() == 1; }, kStopLimit));
  }

  std::vector<std::string> FoundFiles(const std::string& query) {
    const TReply reply = Get("/find?format=json&" + query);
    EXPECT_EQ(reply.Status, 200) << query;
    return ReadJsonAnswer(reply.Body).Files();
  }

  TTesselScene scene_;  // desktop, settings folder and tree; they go last
  TTesselReaper reaper_{scene_.Desktop()};
  const int port_ = testing::FreeLoopbackPort();
  std::unique_ptr<TChildProcess> server_;  // goes first, so no launch follows the reaper
};

TEST_F(WholeChainTest, FirstSearchLaunchesTesselThenJsonAnswersCarryTheFileFacts) {
  StartServer();
  LaunchTessel();
  const TReply reply = Get("/find?term=report&format=json");
  ASSERT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "application/json");
  EXPECT_TRUE(std::all_of(reply.Body.begin(), reply.Body.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  const TJsonAnswer answer = ReadJsonAnswer(reply.Body);
  ASSERT_TRUE(answer.parsed) << reply.Body;
  EXPECT_EQ(answer.count, 3);
  // Full-path byte order; the folder "report archive" is no file, so it is not among them.
  ASSERT_EQ(answer.Files(), (std::vector<std::string>{kQuarterly, kAngle, kCafe}));
  for (const TResult& result : answer.results) {
    SCOPED_TRACE(result.file);
    EXPECT_EQ(result.dir, scene_.Root() + "/");
    EXPECT_EQ(result.size, 2048);
    EXPECT_EQ(result.sizestr, "2 KB");
    EXPECT_EQ(result.timestr, kFixedTimeText);
    EXPECT_EQ(result.time, kFixedTimeSeconds);
    EXPECT_FALSE(result.hasFileName);
  }

  // A file made after the start is found within seconds, with its own size and time.
  const std::string late = scene_.Path("late report.txt");
  std::ofstream(late) << "late";
  const TReply fresh = AwaitAnswer(
      "/find?term=late&format=json",
      [](const TReply& found) { return ReadJsonAnswer(found.Body).count == 1; }, kFreshLimit);
  const TJsonAnswer lateAnswer = ReadJsonAnswer(fresh.Body);
  ASSERT_EQ(lateAnswer.Files(), (std::vector<std::string>{"late report.txt"}));
  EXPECT_EQ(lateAnswer.results[0].size, 4);
  EXPECT_EQ(lateAnswer.results[0].sizestr, "0 KB");
  EXPECT_EQ(lateAnswer.results[0].timestr.size(), std::string(kFixedTimeText).size());
  EXPECT_NE(lateAnswer.results[0].timestr, kFixedTimeText);
  StopAll();
}

// A tessel the server started holds nothing the server has open: no listening or connected
// socket, no configuration file, no desktop window of the server's.
TEST_F(WholeChainTest, StartedTesselInheritsNoDescriptorOfTheServer) {
  StartServer();
  LaunchTessel();
  const std::vector<pid_t> tessels = TesselsOnDesktop(scene_.Desktop());
  ASSERT_EQ(tessels.size(), 1u);
  const std::map<int, std::string> server = OpenDescriptors(server_->Pid());
  ASSERT_FALSE(server.empty()) << "the server's descriptors cannot be read";
  for (const auto& [fd, target] : OpenDescriptors(tessels.front())) {
    // Every event descriptor reads "anon_inode:[eventfd]", its own or not (the server keeps one
    // for each connection thread's window, tessel one for its own): those cannot be told apart.
    if (target.starts_with("anon_inode:")) continue;
    for (const auto& [serverFd, serverTarget] : server) {
      EXPECT_NE(target, serverTarget) << "tessel's descriptor " << fd << " is the server's "
                                      << serverFd;
    }
  }
  StopAll();
}

TEST_F(WholeChainTest, HtmlAnswerLinksDownloadTheFilesAndTheWebPageIsServed) {
  StartServer();
  const TReply page = Get("/");
  EXPECT_EQ(page.Status, 200);
  EXPECT_EQ(page.Body, ReadFile(kBuildDir + "/webroot/index.html"));
  LaunchTessel();

  const TReply reply = Get("/find?term=report");
  ASSERT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "text/html; charset=utf-8");
  const std::string& html = reply.Body;
  EXPECT_NE(html.find("Total Results: <span>3</span>, showing <span>1</span>  to <span>3</span>"),
            std::string::npos)
      << html;
  // Names and folders appear escaped for HTML, as UTF-8; the times come from the files.
  EXPECT_NE(html.find(">a&lt;b report.txt</a></td><td>" + scene_.Root() +
                      "/</td><td>2 KB</td><td>" + kFixedTimeText + "</td></tr>"),
            std::string::npos)
      << html;
  EXPECT_EQ(html.find("a<b"), std::string::npos);
  EXPECT_NE(html.find(">" + std::string(kCafe) + "</a>"), std::string::npos);

  const std::vector<std::string> links = DownloadLinks(html);
  ASSERT_EQ(links.size(), 3u) << html;
  EXPECT_TRUE(links[1].ends_with("/a%3Cb%20report.txt")) << links[1];
  EXPECT_TRUE(links[2].ends_with("/caf%C3%A9%20report.md")) << links[2];
  const std::string names[] = {kQuarterly, kAngle, kCafe};
  for (size_t index = 0; index < links.size(); ++index) {
    SCOPED_TRACE(links[index]);
    ASSERT_TRUE(links[index].starts_with("/download?file="));
    const TReply download = Get(links[index]);
    EXPECT_EQ(download.Status, 200);
    EXPECT_EQ(download.Body, Content(names[index]));
  }
  // A link keeps a name with '&' and '#' whole, so it downloads that very file.
  const std::string sharp = "Tom & Jerry #1.txt";
  std::ofstream(scene_.Path(sharp)) << Content(sharp);
  const TReply jerry = AwaitAnswer(
      "/find?term=jerry", [](const TReply& found) { return DownloadLinks(found.Body).size() == 1; },
      kFreshLimit);
  ASSERT_EQ(DownloadLinks(jerry.Body).size(), 1u) << jerry.Body;
  EXPECT_EQ(Get(DownloadLinks(jerry.Body)[0]).Body, Content(sharp));
  // Downloads stay inside the search folders: the server's own settings are refused.
  const TReply outside = Get("/download?file=" + scene_.ConfigFolder() + "/WebTessl/config.ini");
  EXPECT_EQ(outside.Status, 404);
  EXPECT_TRUE(outside.Body.empty());
  StopAll();
}

TEST_F(WholeChainTest, QueryParametersReachTessel) {
  StartServer();
  LaunchTessel();
  using TFiles = std::vector<std::string>;
  EXPECT_EQ(FoundFiles("term=report&from=1&count=1"), (TFiles{kAngle}));
  EXPECT_EQ(FoundFiles("term=Report&casesensitive=on"), (TFiles{kQuarterly}));
  EXPECT_EQ(FoundFiles("term=quarterly+caf%C3%A9&anyword=on"), (TFiles{kQuarterly, kCafe}));
  EXPECT_EQ(FoundFiles("term=quarterly+caf%C3%A9"), TFiles{});
  EXPECT_EQ(FoundFiles("term=repo&wholewords=on"), TFiles{});
  EXPECT_EQ(FoundFiles("term=report&filter=*.md"), (TFiles{kCafe}));
  EXPECT_EQ(FoundFiles("term=report&includedirs=on"), (TFiles{"report archive"}));
  EXPECT_EQ(FoundFiles("term=report&includedirs=on&includefiles=on"),
            (TFiles{kQuarterly, kAngle, kCafe, "report archive"}));
  // Paging: the count stays the total, the page holds what is left.
  const TReply page = Get("/find?format=json&term=report&from=2&count=25");
  const TJsonAnswer answer = ReadJsonAnswer(page.Body);
  EXPECT_EQ(answer.count, 3);
  EXPECT_EQ(answer.Files(), (TFiles{kCafe}));
  StopAll();
}

// Sorted searches, asked of the tessel the server launched in the server's own query form; the
// sizes and dates it reports are those the server completes its answers with.
TEST_F(WholeChainTest, SortedSearchesOfTheLaunchedTesselAgreeWithTheServersFacts) {
  StartServer();
  LaunchTessel();
  const std::string big = "big report.bin";
  std::ofstream(scene_.Path(big)) << std::string(10000, 'b');
  const TReply found = AwaitAnswer(
      "/find?term=report&format=json",
      [](const TReply& reply) { return ReadJsonAnswer(reply.Body).count == 4; }, kFreshLimit);
  const TJsonAnswer served = ReadJsonAnswer(found.Body);
  ASSERT_EQ(served.count, 4) << found.Body;
  // Sorted by size, answers say "indexing" until tessel has read the sizes of its first scan.
  ASSERT_TRUE(testing_desktop::Eventually(
      [] { return !testing_tessel::Search({.text = "report", .sort = "size"}).indexing; }));
  const auto sorted = testing_tessel::Search({.text = "report", .sort = "size"});
  // Largest first, then the three of equal size in full-path order.
  ASSERT_EQ(sorted.files,
            (std::vector<std::string>{scene_.Path(big), scene_.Path(kQuarterly),
                                      scene_.Path(kAngle), scene_.Path(kCafe)}));
  for (const TResult& result : served.results) {
    const auto at = std::find(sorted.files.begin(), sorted.files.end(), result.dir + result.file);
    ASSERT_NE(at, sorted.files.end()) << result.file;
    EXPECT_EQ(sorted.sizes[static_cast<size_t>(at - sorted.files.begin())], result.size);
  }
  const auto oldest = testing_tessel::Search({.text = "report", .count = 3, .sort = "date",
                                              .ascending = 1});
  EXPECT_EQ(oldest.files, (std::vector<std::string>{scene_.Path(kQuarterly), scene_.Path(kAngle),
                                                    scene_.Path(kCafe)}));
  StopAll();
}

}  // namespace
}  // namespace webtessl
