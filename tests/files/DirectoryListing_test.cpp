#include "files/DirectoryListing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "files/fileRequestHandler.h"
#include "platform/Locale.h"
#include "tests/files/FileServiceTesting.h"
#include "tests/http/TestServer.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing::TReply;

constexpr const char* kPageHead =
    "<html><head>\r\n"
    "<style type=\"text/css\">\r\n"
    "img { border: 0; padding: 0 2px; vertical-align: text-bottom; }\r\n"
    "td  { font-family: monospace; padding: 2px 3px; text-align: right; vertical-align: bottom; "
    "white-space: pre; }\r\n"
    "td:first-child { text-align: left; padding: 2px 10px 2px 3px; }\r\n"
    "table { border: 0; }\r\n"
    "a.symlink { font-style: italic; }\r\n"
    "</style>\r\n"
    "</head><body>\r\n";

// A file server with listings on, over "webroot" in a fresh folder.
class DirectoryListingTest : public ::testing::Test {
 protected:
  DirectoryListingTest() {
    std::filesystem::create_directories(folder_.File("webroot"));
    server_.Server().Handlers.Add(
        std::make_shared<TFileRequestHandler>(folder_.File("webroot"), true));
    server_.Start();
  }
  void Put(const std::string& name, const std::string& content) const {
    folder_.Write("webroot/" + name, content);
  }
  void MakeFolder(const std::string& name) const {
    std::filesystem::create_directories(folder_.File("webroot/" + name));
  }
  TReply Fetch(const std::string& target) const { return testing::Get(server_.Port(), target); }

  testing_support::TempFolder folder_;
  testing::TTestServer server_;
};

// The table rows of a page with their dates replaced by "<date>".
std::string Rows(const std::string& page) {
  const size_t start = page.find("<table>\r\n") + 9;
  const std::string rows = page.substr(start, page.find("</table>") - start);
  static const std::regex kDate("<td>[^<]+</tr>");
  return std::regex_replace(rows, kDate, "<td><date></tr>");
}

TEST_F(DirectoryListingTest, ListsFoldersThenFilesEachSortedWithoutCase) {
  MakeFolder("sub/Beta");
  MakeFolder("sub/alpha");
  Put("sub/b.txt", std::string(512, 'x'));
  Put("sub/A.txt", std::string(1536, 'x'));
  Put("sub/c.txt", "");
  const TReply reply = Fetch("/sub/");
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "text/html");
  const std::string point(1, DecimalSeparator());
  EXPECT_EQ(reply.Body.substr(0, std::string(kPageHead).size()), kPageHead);
  EXPECT_NE(reply.Body.find("\r\nListing of /sub/<br><hr>\r\n"
                            "<a href=\"..\">Up to higher level directory</a><br>\r\n"
                            "<br>\r\n<table>\r\n"),
            std::string::npos);
  EXPECT_EQ(Rows(reply.Body),
            "<tr><td><a href=\"alpha/\">alpha</a><td>(DIR)<td></tr>\r\n"
            "<tr><td><a href=\"Beta/\">Beta</a><td>(DIR)<td></tr>\r\n"
            "<tr><td><a href=\"A.txt\">A.txt</a><td>1" +
                point +
                "5 kb<td><date></tr>\r\n"
                "<tr><td><a href=\"b.txt\">b.txt</a><td>512  b<td><date></tr>\r\n"
                "<tr><td><a href=\"c.txt\">c.txt</a><td>0  b<td><date></tr>\r\n");
  EXPECT_TRUE(reply.Body.ends_with("</table>\r\n</body></html>\r\n"));
  EXPECT_EQ(reply.Body.find("<td> "), std::string::npos) << "blanks in dates are non-breaking";
}

TEST_F(DirectoryListingTest, LeavesOutTheUpLinkOnlyAtTheRoot) {
  MakeFolder("sub");
  EXPECT_EQ(Fetch("/").Body.find("Up to higher level directory"), std::string::npos);
  EXPECT_NE(Fetch("/sub/").Body.find("Up to higher level directory"), std::string::npos);
  EXPECT_NE(Fetch("//").Body.find("Up to higher level directory"), std::string::npos);
}

TEST_F(DirectoryListingTest, EscapesNamesAndTheUri) {
  MakeFolder("sub");
  Put("sub/a<b>&'x'.txt", "");
  Put("sub/b50%41 #1?.txt", "");
  MakeFolder("sub/\"q\"");
  MakeFolder("<i>");
  EXPECT_NE(Fetch("/<i>/").Body.find("Listing of /&lt;i&gt;/<br>"), std::string::npos);
  const std::string rows = Rows(Fetch("/sub/").Body);
  EXPECT_EQ(rows,
            "<tr><td><a href=\"%22q%22/\">&quot;q&quot;</a><td>(DIR)<td></tr>\r\n"
            "<tr><td><a href=\"a%3Cb%3E&amp;&#39;x&#39;.txt\">a&lt;b&gt;&amp;&#39;x&#39;.txt</a>"
            "<td>0  b<td><date></tr>\r\n"
            "<tr><td><a href=\"b50%2541%20%231%3F.txt\">b50%41 #1?.txt</a><td>0  b<td><date>"
            "</tr>\r\n");
  // The encoded link leads back to the file.
  EXPECT_EQ(Fetch("/sub/b50%2541%20%231%3F.txt").Status, 200);
}

TEST(DirectoryListingPageTest, ShowsTheDateAtTwoSecondResolution) {
  testing_support::TempFolder folder;
  folder.Write("a.txt", "x");
  const auto odd = std::filesystem::file_time_type::clock::now();
  std::filesystem::last_write_time(folder.File("a.txt"), odd);
  const std::string page = DirectoryListingPage("/x/", folder.Path().string() + "/");
  static const std::regex kSeconds(":(\\d\\d)(&nbsp;|<|$)");
  std::smatch match;
  const std::string rows = page.substr(page.find("a.txt</a>"));
  if (std::regex_search(rows, match, kSeconds)) {
    EXPECT_EQ(std::stoi(match[1].str()) % 2, 0) << rows;
  } else {
    ADD_FAILURE() << "no time of day in " << rows;
  }
}

}  // namespace
}  // namespace webtessl
