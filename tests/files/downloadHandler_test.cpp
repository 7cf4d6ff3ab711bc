#include "files/downloadHandler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "config/IniFile.h"
#include "files/HtmlText.h"
#include "files/fileRequestHandler.h"
#include "tests/files/FileServiceTesting.h"
#include "tests/http/TestServer.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing::TReply;

// A file that exists as a regular file but cannot be opened for reading. Without privileges a
// file without permissions will do; as root, a write-only kernel attribute file, when the
// system has one.
std::optional<std::string> UnreadableFile(const testing_support::TempFolder& folder) {
  if (::geteuid() != 0) {
    const std::string file = folder.Write("shared/locked.txt", "locked");
    std::filesystem::permissions(file, std::filesystem::perms::none);
    return file;
  }
  std::error_code error;
  for (const auto& bus : std::filesystem::directory_iterator("/sys/bus", error)) {
    const std::string candidate = bus.path().string() + "/drivers_probe";
    if (std::filesystem::is_regular_file(candidate, error) && !std::ifstream(candidate).is_open()) {
      return candidate;
    }
  }
  return std::nullopt;
}

// The download handler and, behind it, a file server over an empty web root, on loopback; the
// configuration file is rewritten by the tests while the server runs.
class TDownloadHandlerTest : public ::testing::Test {
 protected:
  TDownloadHandlerTest() : iniFile_(folder_.File("config.ini")) {
    std::filesystem::create_directories(folder_.File("webroot"));
    std::filesystem::create_directories(folder_.File("shared"));
    auto download = std::make_shared<TDownloadHandler>();
    download->SetIniFile(iniFile_);
    server_.Server().Handlers.Add(download);
    server_.Server().Handlers.Add(
        std::make_shared<TFileRequestHandler>(folder_.File("webroot"), false));
    server_.Start();
  }

  void Configure(const std::string& settings) const {
    folder_.Write("config.ini", "[settings]\r\n" + settings);
  }
  // Writes a file in the shared folder and returns its full path.
  std::string Share(const std::string& name, const std::string& content) const {
    return folder_.Write("shared/" + name, content);
  }
  TReply Download(const std::string& path, const std::string& extraHeaders = "") const {
    return Fetch("/download?file=" + EncodeUrlPath(path), extraHeaders);
  }
  TReply Fetch(const std::string& target, const std::string& extraHeaders = "") const {
    return testing::Get(server_.Port(), target, extraHeaders);
  }
  // A download refused or missing: 404 from the download handler, which sets no body.
  static void ExpectRefused(const TReply& reply, const std::string& what) {
    EXPECT_EQ(reply.Status, 404) << what;
    EXPECT_NE(reply.Body, "Not found.") << what << ": answered by the file handler";
    EXPECT_FALSE(reply.HasHeader("Content-disposition")) << what;
  }

  testing_support::TempFolder folder_;
  const TIniFile iniFile_;
  testing::TTestServer server_;
};

TEST_F(TDownloadHandlerTest, ServesTheFileAsAnAttachmentUnderItsBareName) {
  const std::string file = Share("my report.txt", "0123456789");
  const TReply reply = Download(file);
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "0123456789");
  EXPECT_NE(reply.Head.find("\r\nContent-length: 10\r\n"), std::string::npos) << reply.Head;
  EXPECT_NE(reply.Head.find("\r\nContent-disposition: attachment; filename=\"my report.txt\"\r\n"),
            std::string::npos)
      << reply.Head;
  // The parameter name matches without case, and "+" stands for a blank.
  const std::string plusForm = "/download?FILE=" + folder_.File("shared/my+report.txt");
  EXPECT_EQ(Fetch(plusForm).Body, "0123456789");
}

TEST_F(TDownloadHandlerTest, ServesUtf8NamesInTheSystemCodePage) {
  const std::string file = Share("\xC3\xA4pfel.txt", "apples");
  const TReply reply = Download(file);
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "apples");
  EXPECT_EQ(reply.Header("Content-disposition"),
            "attachment; filename=\"\xC3\xA4pfel.txt\"; filename*=UTF-8''%C3%A4pfel.txt");
}

TEST_F(TDownloadHandlerTest, TakesOnlyAPlusAsSentForABlank) {
  const std::string file = Share("C++ primer.txt", "plus");
  EXPECT_EQ(Fetch("/download?file=" + folder_.File("shared/C%2B%2B%20primer.txt")).Body, "plus");
  EXPECT_EQ(Fetch("/download?file=" + folder_.File("shared/C%2b%2B+primer.txt")).Body, "plus");
  ExpectRefused(Fetch("/download?file=" + folder_.File("shared/C++%20primer.txt")),
                "a plus as sent is a blank");
  Share("C   primer.txt", "blanks");
  EXPECT_EQ(Fetch("/download?file=" + folder_.File("shared/C++%20primer.txt")).Body, "blanks");
}

TEST_F(TDownloadHandlerTest, AnswersNotFoundForFoldersMissingFilesAndNoFile) {
  ExpectRefused(Download(folder_.File("shared")), "a folder");
  ExpectRefused(Download(folder_.File("shared/missing.txt")), "a missing file");
  ExpectRefused(Fetch("/download"), "no parameter");
  ExpectRefused(Fetch("/download?file="), "an empty parameter");
  ExpectRefused(Download(Share("a.txt", "a") + "/"), "a file named as a folder");
  ExpectRefused(Fetch("/download?file=" + EncodeUrlPath(Share("b.txt", "b")) + "%00.jpg"),
                "a NUL byte");
}

TEST_F(TDownloadHandlerTest, ClaimsOnlyTheExactPath) {
  const std::string file = EncodeUrlPath(Share("a.txt", "a"));
  for (const std::string target :
       {"/download/?file=", "/Download?file=", "/downloads?file=", "/%64ownload?file="}) {
    const TReply reply = Fetch(target + file);
    EXPECT_EQ(reply.Status, 404) << target;
    EXPECT_EQ(reply.Body, "Not found.") << target << " reaches the file handler";
  }
  EXPECT_EQ(Fetch("http://host:1/download?file=" + file).Body, "a");
}

TEST_F(TDownloadHandlerTest, AnswersUnauthorizedWhenTheFileCannotBeOpened) {
  const std::optional<std::string> file = UnreadableFile(folder_);
  if (!file) GTEST_SKIP() << "no unreadable regular file on this system";
  const TReply reply = Download(*file);
  EXPECT_EQ(reply.Status, 401);
  EXPECT_FALSE(reply.HasHeader("Content-disposition"));
}

TEST_F(TDownloadHandlerTest, LeavesRangesToTheHttpLayer) {
  const std::string file = Share("range.bin", "0123456789");
  TReply reply = Download(file, "Range: bytes=2-5\r\n");
  EXPECT_EQ(reply.Status, 206);
  EXPECT_EQ(reply.Body, "2345");
  EXPECT_EQ(reply.Header("Content-Range"), "bytes 2-5/10");
  reply = Download(file, "Range: bytes=-3\r\n");
  EXPECT_EQ(reply.Status, 206);
  EXPECT_EQ(reply.Body, "789");
  reply = Download(file, "Range: bytes=20-\r\n");
  EXPECT_EQ(reply.Status, 416);
}

TEST_F(TDownloadHandlerTest, FollowsTheEnableSettingWithoutRestart) {
  const std::string file = Share("a.txt", "a");
  Configure("enabledownload=0\r\n");
  TReply reply = Download(file);
  EXPECT_EQ(reply.Status, 404);
  EXPECT_EQ(reply.Body, "Not found.") << "passed on to the file handler";
  Configure("enabledownload=1\r\n");
  EXPECT_EQ(Download(file).Body, "a");
  Configure("enabledownload=false\r\n");  // no integer: the default, enabled
  EXPECT_EQ(Download(file).Body, "a");
}

TEST_F(TDownloadHandlerTest, ServesOnlyInsideTheSharedFolders) {
  const std::string inside = Share("in.txt", "in");
  const std::string outside = folder_.Write("out.txt", "out");
  std::filesystem::create_directories(folder_.File("shared/private"));
  const std::string excluded = Share("private/p.txt", "p");
  EXPECT_EQ(Download(outside).Body, "out") << "no folders given: every path";
  Configure("dirs=" + folder_.File("missing") + ";" + folder_.File("shared") +
            "\r\nexcludedirs=" + folder_.File("shared/private") + "\r\n");
  EXPECT_EQ(Download(inside).Body, "in");
  ExpectRefused(Download(outside), "outside dirs");
  ExpectRefused(Download(folder_.File("shared/../out.txt")), "climbing out of dirs");
  ExpectRefused(Download(excluded), "inside excludedirs");
  Configure("dirs=" + folder_.File("shared") + "/\r\n");
  EXPECT_EQ(Download(inside).Body, "in") << "a folder given with its trailing slash";
  Configure("dirs=" + folder_.File("shar") + "\r\n");
  ExpectRefused(Download(inside), "a folder whose name only begins the same");
}

TEST_F(TDownloadHandlerTest, RefusesHiddenFilesAndFolders) {
  std::filesystem::create_directories(folder_.File("shared/.keys"));
  const std::string key = folder_.Write("shared/.keys/id", "key");
  const std::string dotFile = Share(".netrc", "secret");
  std::filesystem::create_symlink(key, folder_.File("shared/visible-link"));
  ExpectRefused(Download(key), "in a hidden folder");
  ExpectRefused(Download(dotFile), "a hidden file");
  ExpectRefused(Download(folder_.File("shared/visible-link")), "a link to a hidden file");
}

// No link on the way to the file is followed, wherever it leads; a shared folder that is itself
// a link is the operator's choice and is honoured.
TEST_F(TDownloadHandlerTest, FollowsNoLinkOnTheWayToTheFile) {
  const std::string outside = folder_.Write("out.txt", "out");
  const std::string inside = Share("in.txt", "in");
  std::filesystem::create_symlink(outside, folder_.File("shared/link.txt"));
  std::filesystem::create_symlink(inside, folder_.File("shared/in-link.txt"));
  std::filesystem::create_directory_symlink(folder_.Path(), folder_.File("shared/up"));
  ExpectRefused(Download(folder_.File("shared/link.txt")), "a link, no folders given");
  ExpectRefused(Download(folder_.File("shared/in-link.txt")), "a link that stays inside");
  Configure("dirs=" + folder_.File("shared") + "\r\n");
  ExpectRefused(Download(folder_.File("shared/link.txt")), "a link pointing out");
  ExpectRefused(Download(folder_.File("shared/up/out.txt")), "a folder link pointing out");
  std::filesystem::create_directory_symlink(folder_.File("shared"), folder_.File("share-link"));
  Configure("dirs=" + folder_.File("share-link") + "\r\n");
  EXPECT_EQ(Download(folder_.File("share-link/in.txt")).Body, "in");
  EXPECT_EQ(Download(inside).Body, "in");
}

TEST_F(TDownloadHandlerTest, KeepsControlCharactersOutOfTheHeader) {
  const std::string file = Share("a\nSet-Cookie: x=1\r.txt", "a");
  const TReply reply = Download(file);
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-disposition"),
            "attachment; filename=\"a_Set-Cookie: x=1_.txt\"");
  EXPECT_FALSE(reply.HasHeader("Set-Cookie"));
}

TEST_F(TDownloadHandlerTest, NamesWithSemicolonsQuotesAndEmojiKeepTheirWholeName) {
  const std::string semicolon = Share("semi;colon.txt", "s");
  EXPECT_EQ(Download(semicolon).Header("Content-disposition"),
            "attachment; filename=\"semi;colon.txt\"");
  const std::string quotes = Share("say \"hi\" \\ \xF0\x9F\x98\x80.bin", "q");
  const TReply reply = Download(quotes);
  EXPECT_EQ(reply.Body, "q");
  EXPECT_EQ(reply.Header("Content-disposition"),
            "attachment; filename=\"say \\\"hi\\\" \\\\ \xF0\x9F\x98\x80.bin\"; "
            "filename*=UTF-8''say%20%22hi%22%20%5C%20%F0%9F%98%80.bin");
}

TEST_F(TDownloadHandlerTest, ShowsOnlySafeTypesInlineAndEveryAnswerIsSandboxed) {
  struct TCase {
    std::string name;
    std::string type;
    bool showable;
  };
  for (const TCase& item : std::initializer_list<TCase>{
           {"photo.JPG", "image/jpeg", true},
           {"paper.pdf", "application/pdf", true},
           {"song.mp3", "audio/mpeg", true},
           {"clip.webm", "video/webm", true},
           {"notes.txt", "text/plain; charset=utf-8", true},
           {"page.html", "text/html", false},
           {"drawing.svg", "image/svg+xml", false},
           {"data.xml", "text/xml", false},
           {"script.js", "text/javascript", false},
           {"archive.tar.gz", "application/gzip", false},
           {"no-extension", "application/octet-stream", false},
           {"odd.xyz", "application/octet-stream", false}}) {
    const std::string file = Share(item.name, "content");
    for (const bool asked : {false, true}) {
      const TReply reply = Fetch("/download?file=" + EncodeUrlPath(file) + (asked ? "&inline=1" : ""));
      const std::string what = item.name + (asked ? " asked inline" : " as download");
      EXPECT_EQ(reply.Status, 200) << what;
      EXPECT_EQ(reply.Body, "content") << what;
      EXPECT_EQ(reply.Header("Content-Type"), item.type) << what;
      const std::string kind = asked && item.showable ? "inline" : "attachment";
      EXPECT_EQ(reply.Header("Content-disposition"), kind + "; filename=\"" + item.name + "\"")
          << what;
      EXPECT_EQ(reply.Header("X-Content-Type-Options"), "nosniff") << what;
      EXPECT_EQ(reply.Header("Content-Security-Policy"), "sandbox") << what;
    }
  }
  const std::string page = Share("other.html", "<script>1</script>");
  EXPECT_EQ(Fetch("/download?file=" + EncodeUrlPath(page) + "&inline=on").Header(
                "Content-disposition"),
            "attachment; filename=\"other.html\"");
}

TEST_F(TDownloadHandlerTest, InlineAnswersKeepRangesAndTheScopeRules) {
  const std::string video = Share("movie.mp4", "0123456789");
  const TReply reply = Fetch("/download?file=" + EncodeUrlPath(video) + "&inline=1",
                             "Range: bytes=4-\r\n");
  EXPECT_EQ(reply.Status, 206);
  EXPECT_EQ(reply.Body, "456789");
  EXPECT_EQ(reply.Header("Content-disposition"), "inline; filename=\"movie.mp4\"");
  const std::string outside = folder_.Write("out.png", "png");
  std::filesystem::create_directories(folder_.File("shared/.hidden"));
  const std::string hidden = Share(".hidden/in.png", "png");
  Configure("dirs=" + folder_.File("shared") + "\r\n");
  ExpectRefused(Fetch("/download?file=" + EncodeUrlPath(outside) + "&inline=1"), "outside dirs");
  ExpectRefused(Fetch("/download?file=" + EncodeUrlPath(hidden) + "&inline=1"), "hidden");
  Configure("enabledownload=0\r\n");
  EXPECT_EQ(Fetch("/download?file=" + EncodeUrlPath(video) + "&inline=1").Body, "Not found.");
}

TEST(TDownloadHandlerUnitTest, ReadsTheConfigurationAtEveryCall) {
  testing_support::TempFolder folder;
  const TIniFile iniFile(folder.File("config.ini"));
  TDownloadHandler handler;
  EXPECT_EQ(handler.GetName(), "DownloadHandler");
  EXPECT_TRUE(handler.IsDownloadEnabled());
  handler.SetIniFile(iniFile);
  EXPECT_TRUE(handler.IsDownloadEnabled());
  const std::string file = folder.Write("a.txt", "a");
  EXPECT_FALSE(handler.IsDownloadRefused(file));
  folder.Write("config.ini", "[Settings]\r\nEnableDownload = 0\r\ndirs=/nonexistent\r\n");
  EXPECT_FALSE(handler.IsDownloadEnabled());
  EXPECT_TRUE(handler.IsDownloadRefused(file));
  EXPECT_TRUE(handler.IsDownloadRefused(std::string("a.txt\0", 6)));
}

}  // namespace
}  // namespace webtessl
