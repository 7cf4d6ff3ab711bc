#include "search/tesselRequestHandler.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ServerAssembly.h"
#include "json/superobject.h"
#include "platform/DesktopMessages.h"
#include "search/DesktopQuery.h"
#include "tests/http/RawClient.h"
#include "tests/search/PeerProcess.h"
#include "tests/search/SearchServer.h"
#include "tests/search/UtcZone.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;
using testing_desktop::ElapsedMs;
using testing_desktop::Eventually;
using testing_peer::TPeerProcess;
using testing_search::THttpAnswer;
using testing_search::TSearchServer;
using webtessl::testing::TRawClient;

constexpr char kSummaryOfNothing[] =
    "<div id=\"summary\">Total Results: <span>0</span>, showing <span>1</span>  to "
    "<span>0</span></div>";
constexpr char kTableHead[] =
    "<table width=100%><tr><th>Filename</th><th>Directory</th><th>Filesize</th>"
    "<th>Last Write Time</th></tr>";

// A test peer answering every query with the text; ready when constructed.
class TAnsweringPeer : public TPeerProcess {
 public:
  explicit TAnsweringPeer(std::vector<std::string> options) : TPeerProcess(options) {
    EXPECT_TRUE(AwaitReady());
  }
};

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

ISuperObject ParseAscii(const std::string& text) {
  return ParseJsonText(FromSystemCodePage(text));
}

std::string MissingFileRow(const std::string& dir, const std::string& file) {
  return "<tr><td><a href=\"/download?file=" + dir + file + "\" target=\"_blank\">" + file +
         "</a></td><td>" + dir + "</td><td>0 KB</td><td></td></tr>";
}

class TesselRequestHandlerTest : public ::testing::Test {
 protected:
  // The query the peer recorded for one request, parsed.
  ISuperObject RecordedQuery(const std::string& uri) {
    const std::string record = server_.Root() + "/queries.txt";
    std::filesystem::remove(record);
    TAnsweringPeer peer({"--record", record});
    EXPECT_EQ(server_.Get(uri).Status(), 200) << uri;
    const std::vector<std::string> lines = Lines(record);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? nullptr : ParseAscii(lines.front());
  }
  // The answer to a request while a peer answers with the text.
  THttpAnswer AnsweredWith(const std::string& answer, const std::string& uri) {
    TAnsweringPeer peer({"--answer", answer});
    return server_.Get(uri);
  }

  TSearchServer server_;
};

TEST_F(TesselRequestHandlerTest, ClaimsOnlyTheExactFindPath) {
  EXPECT_EQ(TTesselRequestHandler().GetName(), "tessel");
  for (const char* uri : {"/find/", "/Find", "/findx", "/%66ind", "/", "/find.html?x=1"}) {
    const THttpAnswer answer = server_.Get(uri);
    EXPECT_EQ(answer.body, testing_search::kPassedOn) << uri;
  }
  TAnsweringPeer peer({});
  for (const char* uri : {"/find", "/find?term=x", "http://example.org/find?term=x"}) {
    const THttpAnswer answer = server_.Get(uri);
    EXPECT_EQ(answer.Status(), 200) << uri;
    EXPECT_EQ(answer.body, std::string(kSummaryOfNothing) + kTableHead + "</table>") << uri;
    EXPECT_TRUE(answer.HasHeader("Content-Type: text/html; charset=utf-8")) << answer.head;
  }
}

TEST_F(TesselRequestHandlerTest, PeerReceivesTheExactQueryText) {
  const std::string record = server_.Root() + "/queries.txt";
  server_.WriteSettings("dirs=\"/srv/my files\";/home\r\nexcludedirs=/My Files /x\r\n");
  TAnsweringPeer peer({"--record", record});
  ASSERT_EQ(
      server_.Get("/find?term=r%C3%A9sum%C3%A9+2&filter=*.pdf&from=-3&wholewords=on").Status(),
      200);
  ASSERT_EQ(server_.Get("/find").Status(), 200);
  EXPECT_EQ(
      Lines(record),
      (std::vector<std::string>{
          R"({"cmd":69633,"SpaceOr":false,"QueryFrom":-3,"QueryCount":25,)"
          R"("ExcludeDir":"\/My\u003b\/x","CaseSensitive":false,)"
          R"("IncludeFiles":false,"QueryStr":"r\u00e9sum\u00e9\u00202",)"
          R"("QueryDir":"\/srv\/my\u0020files\u003b\/home","IncludeDir":false,)"
          R"("QueryFilter":"\u002a\u002epdf","WholeWords":true})",
          R"({"cmd":69633,"SpaceOr":false,"QueryFrom":0,"QueryCount":25,)"
          R"("ExcludeDir":"\/My\u003b\/x","CaseSensitive":false,)"
          R"("IncludeFiles":false,"QueryStr":"","QueryDir":"\/srv\/my\u0020files\u003b\/home",)"
          R"("IncludeDir":false,"QueryFilter":"","WholeWords":false})"}));
}

TEST_F(TesselRequestHandlerTest, HostileParametersGiveTheirDefaults) {
  server_.WriteSettings("defaultpagesize=0\r\n");
  const ISuperObject query = RecordedQuery(
      "/find?count=0x&from=99999999999&timeout=20000&term=%FF%FE" + std::string(10000, 'a'));
  ASSERT_TRUE(query);
  EXPECT_EQ(query->Member(u"QueryCount")->AsInteger(), 25);
  EXPECT_EQ(query->Member(u"QueryFrom")->AsInteger(), 0);
  EXPECT_EQ(query->MemberText(u"QueryStr"), u"");
  const ISuperObject longTerm = RecordedQuery("/find?term=" + std::string(10000, 'a'));
  ASSERT_TRUE(longTerm);
  EXPECT_EQ(longTerm->MemberText(u"QueryStr"), std::u16string(10000, u'a'));
}

TEST_F(TesselRequestHandlerTest, SettingsEditsTakeEffectWithoutRestart) {
  server_.WriteSettings("defaultpagesize=40\r\n");
  ISuperObject query = RecordedQuery("/find?count=many");
  ASSERT_TRUE(query);
  EXPECT_EQ(query->Member(u"QueryCount")->AsInteger(), 40);
  server_.WriteSettings("defaultpagesize=30\r\ndirs=/data\r\n");
  query = RecordedQuery("/find?count=many");
  ASSERT_TRUE(query);
  EXPECT_EQ(query->Member(u"QueryCount")->AsInteger(), 30);
  EXPECT_EQ(query->MemberText(u"QueryDir"), u"/data");
}

TEST_F(TesselRequestHandlerTest, HtmlPageSummaryAndRows) {
  const std::string page =
      "{\"results\":[{\"FileName\":\"/r/a\"},{\"FileName\":\"/r/b\"},{\"FileName\":\"/r/c\"},"
      "{\"FileName\":\"/r/d\"}],\"count\":57}";
  THttpAnswer answer = AnsweredWith(page, "/find?from=20");
  EXPECT_EQ(answer.Status(), 200);
  EXPECT_EQ(answer.body,
            "<div id=\"summary\">Total Results: <span>57</span>, showing <span>21</span>  to "
            "<span>24</span></div>" +
                std::string(kTableHead) + MissingFileRow("/r/", "a") + MissingFileRow("/r/", "b") +
                MissingFileRow("/r/", "c") + MissingFileRow("/r/", "d") + "</table>");

  answer = AnsweredWith("{\"results\":[]}", "/find");
  EXPECT_EQ(answer.body,
            "<div id=\"summary\">Total Results: <span></span>, showing <span>1</span>  to "
            "<span>0</span></div>" +
                std::string(kTableHead) + "</table>");
}

TEST_F(TesselRequestHandlerTest, HtmlLinksEncodeThePathAndCellsAreEscaped) {
  const THttpAnswer answer = AnsweredWith(
      "{\"results\":[{\"FileName\":\"/dir/a b.txt\"},{\"FileName\":\"/r/<script>x\\u00e9.txt\"},"
      "{\"FileName\":\"/r/a&'\\\".txt\"}],\"count\":\"<b>3</b>\"}",
      "/find");
  EXPECT_EQ(answer.body,
            "<div id=\"summary\">Total Results: <span>&lt;b&gt;3&lt;/b&gt;</span>, showing "
            "<span>1</span>  to <span>3</span></div>" +
                std::string(kTableHead) +
                "<tr><td><a href=\"/download?file=/dir/a%20b.txt\" target=\"_blank\">a b.txt</a>"
                "</td><td>/dir/</td><td>0 KB</td><td></td></tr>"
                "<tr><td><a href=\"/download?file=/r/%3Cscript%3Ex%C3%A9.txt\" "
                "target=\"_blank\">&lt;script&gt;x\xC3\xA9.txt</a></td><td>/r/</td><td>0 KB</td>"
                "<td></td></tr>"
                "<tr><td><a href=\"/download?file=/r/a%26'%22.txt\" target=\"_blank\">"
                "a&amp;&#39;&quot;.txt</a></td><td>/r/</td><td>0 KB</td><td></td></tr>"
                "</table>");
}

TEST_F(TesselRequestHandlerTest, DownloadsOffGiveRowsWithoutLinks) {
  server_.WriteSettings("enabledownload=0\r\n");
  const THttpAnswer answer =
      AnsweredWith("{\"results\":[{\"FileName\":\"/r/a b\"}],\"count\":1}", "/find");
  EXPECT_EQ(answer.body,
            "<div id=\"summary\">Total Results: <span>1</span>, showing <span>1</span>  to "
            "<span>1</span></div>" +
                std::string(kTableHead) +
                "<tr><td>a b</td><td>/r/</td><td>0 KB</td><td></td></tr></table>");
}

TEST_F(TesselRequestHandlerTest, JsonAnswerKeepsForeignMembersWithoutFileNameOrLink) {
  const testing_search::TUtcZone utc;
  const std::string path = server_.Root() + "/a b.txt";
  std::ofstream(path, std::ios::binary) << std::string(1536, 'x');
  const timespec times[2] = {{1236434709, 0}, {1236434709, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const THttpAnswer answer = AnsweredWith(
      "{\"results\":[{\"FileName\":\"" + path + "\",\"rank\":3}],\"count\":1,\"took\":\"5 ms\"}",
      "/find?format=json");
  EXPECT_EQ(answer.Status(), 200);
  EXPECT_TRUE(answer.HasHeader("Content-Type: application/json")) << answer.head;
  std::string dir;  // the folder as the escaped writer spells it
  for (const char c : server_.Root() + "/") {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      dir += c;
    } else if (c == '/') {
      dir += "\\/";
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      dir += escape;
    }
  }
  EXPECT_EQ(answer.body,
            "{\r\n \"results\": [\r\n  {\r\n   \"dir\": \"" + dir +
                "\",\r\n   \"timestr\": \"2009\\u002d03\\u002d07\\u002014\\u003a05\\u003a09\",\r\n"
                "   \"sizestr\": \"1\\u002e5\\u0020KB\",\r\n   \"time\": 1236434709,\r\n"
                "   \"size\": 1536,\r\n   \"rank\": 3,\r\n   \"file\": \"a\\u0020b\\u002etxt\"\r\n"
                "  }],\r\n \"took\": \"5\\u0020ms\",\r\n \"count\": 1\r\n}");
}

TEST_F(TesselRequestHandlerTest, NoAnswerGives404WithoutBody) {
  const auto expectBare404 = [](const THttpAnswer& answer) {
    EXPECT_EQ(answer.Status(), 404);
    EXPECT_EQ(answer.body, "");
    EXPECT_EQ(answer.head.find("Content-Type"), std::string::npos) << answer.head;
  };
  expectBare404(server_.Get("/find?term=x"));  // no application, no program to start
  {
    TAnsweringPeer peer({"--when", "never"});
    const auto start = Clock::now();
    expectBare404(server_.Get("/find?timeout=300"));
    EXPECT_GE(ElapsedMs(start), 300);
    EXPECT_LT(ElapsedMs(start), 1000);
  }
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--result", "0"},
                                                  {"--when", "early"},
                                                  {"--marker", "7"},
                                                  {"--ack-delay-ms", "1500"}}) {
    TAnsweringPeer peer(options);
    const auto start = Clock::now();
    expectBare404(server_.Get("/find?timeout=3000"));
    EXPECT_LT(ElapsedMs(start), options[0] == "--marker" ? 4000 : 2900) << options[0];
  }
}

TEST_F(TesselRequestHandlerTest, TimeoutUsesItsLow16Bits) {
  TAnsweringPeer peer({"--when", "never"});
  const auto start = Clock::now();
  EXPECT_EQ(server_.Get("/find?timeout=70000").Status(), 404);
  EXPECT_GE(ElapsedMs(start), 4464);
  EXPECT_LT(ElapsedMs(start), 6000);
}

TEST_F(TesselRequestHandlerTest, LateAnswerNeverReachesALaterRequest) {
  TAnsweringPeer peer({"--when", "late", "--delay-ms", "400", "--embed-query", "1", "--answer",
                       "{\"results\":[],\"query\":@QUERY@}"});
  EXPECT_EQ(server_.Get("/find?term=first&timeout=100").Status(), 404);
  const THttpAnswer answer = server_.Get("/find?term=second&timeout=3000&format=json");
  ASSERT_EQ(answer.Status(), 200);
  const ISuperObject body = ParseAscii(answer.body);
  ASSERT_TRUE(body && body->Member(u"query"));
  EXPECT_EQ(body->Member(u"query")->MemberText(u"QueryStr"), u"second");
}

// The sender's window title and handle of the peer's next query line ("query N from H titled
// T"); the lines between are passed over.
std::pair<std::string, std::string> NextSender(TPeerProcess& peer) {
  std::string queryLine;
  do {
    queryLine = peer.NextLine();
  } while (!queryLine.empty() && !queryLine.starts_with("query "));
  const size_t from = queryLine.find(" from ");
  const size_t titled = queryLine.find(" titled ");
  if (from == std::string::npos || titled == std::string::npos) return {};
  return {queryLine.substr(titled + 8), queryLine.substr(from + 6, titled - from - 6)};
}

TEST_F(TesselRequestHandlerTest, ConnectionThreadKeepsItsWindowUntilAQueryGoesUnanswered) {
  const std::string answer = "{\"results\":[],\"query\":@QUERY@}";
  const std::string search = "GET /find?format=json&term=";
  const std::string head = " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  {
    TAnsweringPeer peer({"--embed-query", "1", "--answer", answer});
    TRawClient client(server_.Port());
    client.Send(search + "one" + head + "\r\n" + search + "two" + head + "Connection: close\r\n\r\n");
    const std::string both = client.ReadAll(30000);
    EXPECT_NE(both.find("\"one\""), std::string::npos);
    EXPECT_NE(both.find("\"two\""), std::string::npos);
    const auto [firstTitle, firstHandle] = NextSender(peer);
    const auto [secondTitle, secondHandle] = NextSender(peer);
    EXPECT_FALSE(firstTitle.empty());
    EXPECT_EQ(secondTitle, firstTitle) << "one window serves the connection's requests";
    EXPECT_NE(secondHandle, firstHandle) << "each under a handle of its own";
  }
  // A query left unanswered closes the window, so that its late answer finds none; the next
  // search opens another.
  TAnsweringPeer late({"--when", "late", "--delay-ms", "300", "--embed-query", "1", "--answer",
                       answer});
  TRawClient client(server_.Port());
  client.Send("GET /find?timeout=50&term=three" + head + "\r\n" + search + "four&timeout=3000" +
              head + "Connection: close\r\n\r\n");
  const std::string both = client.ReadAll(30000);
  EXPECT_TRUE(both.starts_with("HTTP/1.1 404")) << both.substr(0, 100);
  EXPECT_EQ(both.find("\"three\""), std::string::npos);
  EXPECT_NE(both.find("\"four\""), std::string::npos);
  const auto [thirdTitle, thirdHandle] = NextSender(late);
  const auto [fourthTitle, fourthHandle] = NextSender(late);
  EXPECT_FALSE(thirdTitle.empty());
  EXPECT_NE(fourthTitle, thirdTitle);
}

TEST_F(TesselRequestHandlerTest, UnusableAnswerClosesTheConnectionAndTheServerGoesOn) {
  for (const char* text : {"hello", "", "{\"count\":1}", "{\"results\":5}", "[1,2]",
                           "{\"results\":{\"FileName\":\"/a\"}}"}) {
    TAnsweringPeer peer({"--answer", text});
    const THttpAnswer answer = server_.Get("/find");
    EXPECT_FALSE(answer.answered) << text << ": " << answer.head;
  }
  EXPECT_EQ(server_.Get("/other").body, testing_search::kPassedOn);
  TAnsweringPeer peer({"--answer", "{\"results\":[null,7]}"});  // elements that are no objects
  const THttpAnswer answer = server_.Get("/find");
  EXPECT_EQ(answer.Status(), 200);
  const std::string emptyRow =
      "<tr><td><a href=\"\" target=\"_blank\"></a></td><td></td><td></td><td></td></tr>";
  EXPECT_EQ(answer.body,
            "<div id=\"summary\">Total Results: <span></span>, showing <span>1</span>"
            "  to <span>2</span></div>" +
                std::string(kTableHead) + emptyRow + emptyRow + "</table>");
}

TEST_F(TesselRequestHandlerTest, PeerThatAnswersTwiceOrDiesMidAnswerHarmsNoOtherSearch) {
  {
    // Answering threads, as the application has: the peer's window takes the next query while
    // a copy waits to be taken. A copy sent to a connection thread that has gone back to wait
    // for work is taken by nobody until the send gives up (a second), and the peer's one
    // answering thread waits that long: the searches allow for it, as what is checked is that
    // no copy ends up in another search's answer.
    TAnsweringPeer twice({"--copies", "2", "--threads", "1", "--embed-query", "1", "--answer",
                          "{\"results\":[],\"query\":@QUERY@}"});
    for (const std::string term : {"one", "two", "three"}) {
      const THttpAnswer answer = server_.Get("/find?format=json&timeout=4000&term=" + term);
      ASSERT_EQ(answer.Status(), 200);
      EXPECT_EQ(ParseAscii(answer.body)->Member(u"query")->MemberText(u"QueryStr"),
                FromSystemCodePage(term));
    }
  }
  const std::string large = server_.Root() + "/large.json";
  std::ofstream(large, std::ios::binary)
      << "{\"results\":[],\"pad\":\"" << std::string(60 << 20, 'x') << "\"}";
  TPeerProcess dying({"--answer-file", large});
  ASSERT_TRUE(dying.AwaitReady());
  THttpAnswer answer;
  std::thread search([&] { answer = server_.Get("/find?timeout=1500"); });
  EXPECT_TRUE(dying.NextLine().starts_with("query "));
  dying.Kill();
  search.join();
  EXPECT_EQ(answer.Status(), 404);
  EXPECT_EQ(answer.body, "");
  EXPECT_EQ(server_.Get("/other").body, testing_search::kPassedOn);
}

// A program in the registry's install folder that records how it was started, then becomes the
// test peer.
class TFakeDesktopProgram {
 public:
  explicit TFakeDesktopProgram(const TSearchServer& server)
      : folder_(server.Root() + "/install"), log_(server.Root() + "/launch.log") {
    std::filesystem::create_directory(folder_);
    const std::string program = folder_ + "/tessel";
    std::ofstream(program) << "#!/bin/sh\necho $$ > " << log_ << ".pid\necho \"$*\" > " << log_
                           << ".part\nmv " << log_ << ".part " << log_ << "\nexec "
                           << WEBTESSL_TEST_PEER << " --lifetime-ms 20000\n";
    ::chmod(program.c_str(), 0755);
    server.Folder().WriteRegistry(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Nalo\\Tessel]\n"
        "\"InstallPath\"=\"" +
        folder_ + "\"\n");
  }
  ~TFakeDesktopProgram() {
    std::ifstream pidFile(log_ + ".pid");
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) ::kill(pid, SIGTERM);
  }
  TFakeDesktopProgram(const TFakeDesktopProgram&) = delete;
  TFakeDesktopProgram& operator=(const TFakeDesktopProgram&) = delete;

  // The arguments it was started with; "" when it was not started within 10 seconds.
  std::string Arguments() const {
    if (!Eventually([&] { return std::filesystem::exists(log_); })) return "";
    std::ifstream file(log_);
    std::string line;
    std::getline(file, line);
    return line;
  }

 private:
  std::string folder_;
  std::string log_;
};

TEST_F(TesselRequestHandlerTest, AbsentApplicationIsStartedAndLaterRequestsSucceed) {
  const TFakeDesktopProgram program(server_);
  const THttpAnswer first = server_.Get("/find?term=x");
  EXPECT_EQ(first.Status(), 404);
  EXPECT_EQ(first.body, "");
  EXPECT_EQ(program.Arguments(), "-tray");
  ASSERT_TRUE(Eventually([] { return FindWindow(kUtilWindowClass, kSearchWindowTitle) != 0; }));
  const THttpAnswer later = server_.Get("/find?term=x");
  EXPECT_EQ(later.Status(), 200);
  EXPECT_EQ(later.body, std::string(kSummaryOfNothing) + kTableHead + "</table>");
}

TEST_F(TesselRequestHandlerTest, InstallPathThatIsNotTextFailsTheRequest) {
  server_.Folder().WriteRegistry(
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Nalo\\Tessel]\n"
      "\"InstallPath\"=dword:00000001\n");
  const THttpAnswer answer = server_.Get("/find");
  EXPECT_EQ(answer.Status(), 404);
  EXPECT_EQ(answer.body, "");
  EXPECT_EQ(server_.Get("/find").Status(), 404);  // and again: nothing stays broken
}

// The start sequence registers the search handler: "/find" is answered from the desktop
// application.
TEST(TesselRequestHandlerAssemblyTest, ServerAssemblyRegistersTheSearchHandler) {
  const testing_desktop::TTestDesktop desktop;
  const testing_desktop::TTestFolder folder;
  const int port = testing::FreeLoopbackPort();
  std::ofstream(folder.Root() + "/config.ini") << "[server]\r\nport=" << port << "\r\n";
  const TIniFile iniFile(folder.Root() + "/config.ini");
  TAnsweringPeer peer({});
  TServerAssembly assembly(iniFile);
  assembly.Start();
  testing::TRawClient client(port);
  client.Send("GET /find HTTP/1.0\r\n\r\n");
  const std::string response = client.ReadAll();
  assembly.Stop();
  EXPECT_TRUE(response.starts_with("HTTP/1.0 200 OK\r\n")) << response;
  EXPECT_TRUE(response.ends_with(std::string(kSummaryOfNothing) + kTableHead + "</table>"));
}

}  // namespace
}  // namespace webtessl
