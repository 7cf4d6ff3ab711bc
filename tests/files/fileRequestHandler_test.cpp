#include "files/fileRequestHandler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/files/FileServiceTesting.h"
#include "tests/http/TestServer.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing::Get;
using testing::Request;
using testing::TReply;
using testing::TTestServer;

// A file server on loopback over "webroot" in a fresh folder; the folder above the web root
// holds a file that no request may reach.
class TFileRequestHandlerTest : public ::testing::Test {
 protected:
  TFileRequestHandlerTest() {
    std::filesystem::create_directories(Root());
    folder_.Write("secret.txt", "secret");
    server_.Server().Handlers.Add(std::make_shared<TFileRequestHandler>(Root(), false));
    server_.Start();
  }

  std::string Root() const { return folder_.File("webroot"); }
  // Writes a file below the web root, creating its folders.
  void Put(const std::string& name, const std::string& content) const {
    const std::filesystem::path path = std::filesystem::path(Root()) / name;
    std::filesystem::create_directories(path.parent_path());
    folder_.Write("webroot/" + name, content);
  }
  void MakeFolder(const std::string& name) const {
    std::filesystem::create_directories(std::filesystem::path(Root()) / name);
  }
  TReply Fetch(const std::string& target) const { return Get(server_.Port(), target); }

  static void ExpectNotFound(const TReply& reply, const std::string& target) {
    EXPECT_EQ(reply.Status, 404) << target;
    EXPECT_EQ(reply.Body, "Not found.") << target;
    EXPECT_EQ(reply.Header("Content-Type"), "text/html") << target;
  }

  testing_support::TempFolder folder_;
  TTestServer server_;
};

TEST_F(TFileRequestHandlerTest, ServesAFileWithItsTimeAndMediaType) {
  Put("page.html", "<p>hello</p>");
  const TReply reply = Fetch("/page.html");
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "<p>hello</p>");
  EXPECT_EQ(reply.Header("Content-Type"), "text/html");
  EXPECT_TRUE(reply.HasHeader("Last-Modified"));
}

// A small file that has rested is served from its kept bytes while it stays as it was; a change
// shows at the next request, and a name with a trailing "/" is still no file.
TEST_F(TFileRequestHandlerTest, SettledSmallFileIsServedAsItIsNow) {
  Put("kept.html", "let a = 1;");
  std::this_thread::sleep_for(std::chrono::milliseconds(
      (TSmallFileCache::kSettledSeconds + 1) * 1000));  // until the file counts as settled
  for (int round = 0; round < 2; ++round) {
    const TReply reply = Fetch("/kept.html");
    EXPECT_EQ(reply.Body, "let a = 1;");
    EXPECT_EQ(reply.Header("Content-Type"), "text/html");
    EXPECT_TRUE(reply.HasHeader("Last-Modified"));
  }
  ExpectNotFound(Fetch("/kept.html/"), "/kept.html/");
  EXPECT_EQ(Get(server_.Port(), "/kept.html", "Range: bytes=4-4\r\n").Body, "a");
  Put("kept.html", "let a = 22;");
  EXPECT_EQ(Fetch("/kept.html").Body, "let a = 22;");
  std::filesystem::remove(std::filesystem::path(Root()) / "kept.html");
  ExpectNotFound(Fetch("/kept.html"), "/kept.html");
}

// The look-up opens the file it resolves, so that serving it needs no second look-up by name;
// folders and missing names leave nothing open.
TEST_F(TFileRequestHandlerTest, LookUpOpensTheFileItResolves) {
  Put("a.txt", "abc");
  MakeFolder("dir");
  const TFileRequestHandler handler(Root(), false);
  const TResolvedRequest file = handler.ResolveRequest("/a.txt");
  EXPECT_EQ(file.StatusCode, 200);
  ASSERT_TRUE(file.File);
  EXPECT_EQ(file.File->Facts().size, 3);
  for (const char* target : {"/dir", "/dir/", "/missing.txt"}) {
    const TResolvedRequest other = handler.ResolveRequest(target);
    EXPECT_FALSE(other.File) << target;
    EXPECT_NE(other.StatusCode, 200) << target;
  }
}

TEST_F(TFileRequestHandlerTest, TriesTheIndexFilesInTheirOrder) {
  for (const char* name : {"default.html", "default.htm", "index.htm", "index.html"}) {
    Put(std::string("docs/") + name, name);
  }
  MakeFolder("docs/x/index.html");  // a folder of that name is no index file
  for (const char* name : {"index.html", "index.htm", "default.htm", "default.html"}) {
    const TReply reply = Fetch("/docs/");
    EXPECT_EQ(reply.Status, 200);
    EXPECT_EQ(reply.Body, name);
    std::filesystem::remove(std::filesystem::path(Root()) / "docs" / name);
  }
  ExpectNotFound(Fetch("/docs/"), "/docs/ without index");
  ExpectNotFound(Fetch("/docs/x/"), "/docs/x/ with a folder index.html");
  Put("index.html", "root");
  EXPECT_EQ(Fetch("/").Body, "root");
}

TEST_F(TFileRequestHandlerTest, RedirectsAFolderWithoutItsSlashKeepingTheQuery) {
  MakeFolder("docs");
  Put("pages/index.html", "the page");
  TReply reply = Fetch("/docs");
  EXPECT_EQ(reply.Status, 302);
  EXPECT_EQ(reply.Header("Location"), "/docs/");
  // The query names no folder; the location keeps it after the slash, for the page to read.
  reply = Fetch("/pages?q=a%2Bb&sort=size");
  EXPECT_EQ(reply.Status, 302);
  EXPECT_EQ(reply.Header("Location"), "/pages/?q=a%2Bb&sort=size");
  EXPECT_EQ(Fetch("/pages/?q=x").Body, "the page");
  reply = Fetch("/docs\\");
  EXPECT_EQ(reply.Status, 404) << "a backslash ends a folder URI too";
}

TEST_F(TFileRequestHandlerTest, NeverClimbsAboveTheWebRoot) {
  Put("a/b.txt", "b");
  for (const char* target :
       {"/../secret.txt", "/a/../../secret.txt", "/%2E%2E/secret.txt", "/%2e%2e%2fsecret.txt",
        "/..\\secret.txt", "/a\\..\\..\\secret.txt", "/%5C..%5Csecret.txt", "\\..\\secret.txt",
        "/./../secret.txt", "/a/./../../secret.txt", "http://host/../secret.txt",
        "http://host/a/../../secret.txt", "http://host/%2E%2E/secret.txt", "/..", "/../", "..",
        "/a/../..", "/a/b.txt/../../../secret.txt"}) {
    ExpectNotFound(Fetch(target), target);
  }
  EXPECT_EQ(Fetch("/a/../a/b.txt").Body, "b");
}

// Links inside the root are never followed: one could lead anywhere on the machine. Hidden
// files and folders (a version-control folder, an environment file) are no part of the site.
TEST_F(TFileRequestHandlerTest, ServesNoLinkAndNoHiddenFile) {
  folder_.Write("secret.txt", "secret");
  std::filesystem::create_directories(folder_.File("outside"));
  folder_.Write("outside/index.html", "outside");
  Put("docs/page.html", "page");
  std::filesystem::create_symlink(folder_.File("secret.txt"), Root() + "/leak.txt");
  std::filesystem::create_directory_symlink(folder_.File("outside"), Root() + "/out");
  std::filesystem::create_symlink(folder_.File("outside/index.html"), Root() + "/docs/index.html");
  Put(".env", "KEY=1");
  Put(".git/config", "[core]");
  Put("docs/.hidden/a.txt", "a");
  for (const char* target :
       {"/leak.txt", "/out/index.html", "/out/", "/out", "/docs/", "/.env", "/.git/config",
        "/.git/", "/docs/.hidden/a.txt", "/%2Eenv", "/docs/page.html/"}) {
    ExpectNotFound(Fetch(target), target);
  }
  EXPECT_EQ(Fetch("/docs/page.html").Body, "page");
}

TEST_F(TFileRequestHandlerTest, CollapsesEmptyAndDotSegmentsAndBothSeparators) {
  Put("a/b.txt", "b");
  Put("top.txt", "top");
  for (const char* target : {"/a//b.txt", "/a/./b.txt", "/a\\b.txt", "//a/b.txt", "/./a/b.txt",
                             "/.\\a\\b.txt", "a/b.txt", "/a/%2E/b.txt", "/a%2Fb.txt"}) {
    const TReply reply = Fetch(target);
    EXPECT_EQ(reply.Status, 200) << target;
    EXPECT_EQ(reply.Body, "b") << target;
  }
  EXPECT_EQ(Fetch("/a/../top.txt").Body, "top");
}

TEST_F(TFileRequestHandlerTest, ReducesAnAbsoluteFormUriToItsPath) {
  Put("a.txt", "a");
  Put("d/e.txt", "e");
  EXPECT_EQ(Fetch("http://example.com/a.txt").Body, "a");
  EXPECT_EQ(Fetch("http://example.com:8080/d/e.txt").Body, "e");
  EXPECT_EQ(Fetch("https://example.com/d/./e.txt").Body, "e");
}

TEST_F(TFileRequestHandlerTest, DecodesSpacesAndUtf8Names) {
  Put("my file.txt", "spaced");
  Put("\xC3\xA4pfel.txt", "apples");
  Put("a+b.txt", "plus");
  EXPECT_EQ(Fetch("/my%20file.txt").Body, "spaced");
  EXPECT_EQ(Fetch("/%C3%A4pfel.txt").Body, "apples");
  EXPECT_EQ(Fetch("/%c3%a4pfel.txt").Body, "apples");
  EXPECT_EQ(Fetch("/a+b.txt").Body, "plus");  // "+" is no blank in a path
}

TEST_F(TFileRequestHandlerTest, TheQueryStringNamesNoFile) {
  Put("a.txt", "a");
  EXPECT_EQ(Fetch("/a.txt?x=1").Body, "a");
  EXPECT_EQ(Fetch("/a.txt?").Body, "a");
  Put("b.txt?x=1", "named with a question mark");
  ExpectNotFound(Fetch("/b.txt?x=1"), "/b.txt?x=1");
  EXPECT_EQ(Fetch("/b.txt%3Fx=1").Body, "named with a question mark");
  ExpectNotFound(Fetch("/?/../../secret.txt"), "a query that looks like a path");
}

TEST_F(TFileRequestHandlerTest, AnswersEveryMethodAlike) {
  Put("a.txt", "a");
  for (const char* method : {"GET", "POST", "PUT", "DELETE", "OPTIONS", "FOO"}) {
    const TReply reply = Request(server_.Port(), method, "/a.txt");
    EXPECT_EQ(reply.Status, 200) << method;
    EXPECT_EQ(reply.Body, "a") << method;
  }
  const TReply head = Request(server_.Port(), "HEAD", "/a.txt");
  EXPECT_EQ(head.Status, 200);
  EXPECT_EQ(head.Header("Content-Length"), "1");
  EXPECT_EQ(head.Body, "");
  ExpectNotFound(Request(server_.Port(), "POST", "/missing"), "POST /missing");
}

TEST_F(TFileRequestHandlerTest, TakesTheMediaTypeFromTheTableOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.htm", "text/html"},  {"a.html", "text/html"}, {"a.xml", "text/xml"},
      {"a.txt", "text/plain"}, {"a.jpg", "image/jpeg"}, {"a.gif", "image/gif"},
      {"a.png", "image/png"},  {"A.PNG", "image/png"},  {"a.css", ""},
      {"a.xyz", ""},           {"noextension", ""},     {"dir.html/plain", ""}};
  for (const auto& [name, type] : cases) {
    Put(name, "x");
    const TReply reply = Fetch(std::string("/") + name);
    EXPECT_EQ(reply.Status, 200) << name;
    EXPECT_EQ(reply.HasHeader("Content-Type"), *type != '\0') << name;
    EXPECT_EQ(reply.Header("Content-Type"), type) << name;
  }
}

TEST_F(TFileRequestHandlerTest, RedirectsTheEmptyUriToTheRoot) {
  testing::TRawClient client(server_.Port());
  client.Send("GET  HTTP/1.1\r\nConnection: close\r\n\r\n");
  const TReply reply = testing::ParseReply(client.ReadAll());
  EXPECT_EQ(reply.Status, 302);
  EXPECT_EQ(reply.Header("Location"), "/");
}

TEST_F(TFileRequestHandlerTest, RedirectsNeverToAnotherHost) {
  MakeFolder("docs");
  for (const char* target :
       {"//evil.example/..%2Fdocs", "/\\evil.example/..%2Fdocs", "///evil.example/..%2Fdocs"}) {
    const TReply reply = Fetch(target);
    EXPECT_EQ(reply.Status, 302) << target;
    EXPECT_EQ(reply.Header("Location"), "/evil.example/..%2Fdocs/") << target;
  }
}

TEST_F(TFileRequestHandlerTest, HandsNoNulByteToTheFileSystem) {
  Put("a.txt", "a");
  ExpectNotFound(Fetch("/a.txt%00.html"), "/a.txt%00.html");
  ExpectNotFound(Fetch("/%00"), "/%00");
}

TEST_F(TFileRequestHandlerTest, NeverOpensSpecialFiles) {
  ASSERT_EQ(::mkfifo((Root() + "/pipe.txt").c_str(), 0600), 0);
  std::filesystem::create_symlink(Root() + "/gone.txt", Root() + "/dangling.txt");
  for (const char* target : {"/pipe.txt", "/dangling.txt"}) {
    const TReply reply = Fetch(target);
    EXPECT_EQ(reply.Status, 404) << target;
  }
}

TEST(TFileRequestHandlerRootTest, AnswersNotFoundWithoutAWebRoot) {
  testing_support::TempFolder folder;
  TTestServer server;
  server.Server().Handlers.Add(
      std::make_shared<TFileRequestHandler>(folder.File("missing"), false));
  server.Start();
  for (const char* target : {"/", "/index.html", ""}) {
    const TReply reply = Get(server.Port(), target);
    EXPECT_EQ(reply.Status, 404) << target;
    EXPECT_EQ(reply.Body, "Not found.") << target;
  }
}

TEST(TFileRequestHandlerRootTest, ServesTheWebRootBesideTheProgram) {
  const TFileRequestHandler handler;
  EXPECT_EQ(handler.GetName(), "FileServer");
  EXPECT_FALSE(handler.AllowDirectoryListing());
  const std::string root = handler.WebRoot();
  ASSERT_GE(root.size(), 9U);
  EXPECT_EQ(root.substr(root.size() - 9), "/webroot/");
  EXPECT_TRUE(
      std::filesystem::equivalent(std::filesystem::path(root).parent_path().parent_path(),
                                  std::filesystem::canonical("/proc/self/exe").parent_path()));
}

}  // namespace
}  // namespace webtessl
