#include "http/SynHttpSrv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>

#include "http/HttpDates.h"
#include "tests/http/TestServer.h"
#include "tests/net/ServerTesting.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing::TRawClient;
using testing::TTestServer;
using testing::WithoutDate;

constexpr int kSilenceMs = 300;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

// A real server on loopback with test handlers: "/echo" answers the request body, "/text" a
// generated page, "/files/..." files of a temporary folder; everything else stays unclaimed.
class SynHttpSrvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = folder_.Write("data.txt", Pattern(200));
    const std::filesystem::path folder = folder_.Path();
    server_.Handle([folder](auto& request, auto& response) {
      const std::string path = request->URI.substr(0, request->URI.find('?'));
      if (path == "/echo") {
        response->SetStatus(200);
        response->Content = request->Content;
        return true;
      }
      if (path == "/text" || path == "/chunked") {
        response->SetStatus(200);
        response->Content = "0123456789";
        response->SetHeader(THttpRequest::kETag, "\"v1\"");
        if (path == "/chunked") response->Flags |= 1u << THttpRequest::kFlagChunked;
        return true;
      }
      if (path.rfind("/files/", 0) == 0) {
        response->ServeFile((folder / path.substr(7)).string());
        return true;
      }
      if (path == "/empty") {
        response.reset();
        return true;
      }
      if (path == "/raise") throw std::runtime_error("handler failed");
      return false;
    });
    server_.Start();
  }
  void TearDown() override { server_.Destroy(); }

  // The head a file handler answers with for data.txt, up to (not including) "Date".
  std::string FileHeadStart(const std::string& statusLine) const {
    return statusLine + "\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\nLast-Modified: " +
           FormatHttpDate(FileModifiedUtc(file_), false) +
           "\r\nContent-Type: text/plain\r\nDate: <date>\r\n";
  }

  testing_support::TempFolder folder_;
  TTestServer server_;
  std::string file_;
};

TEST_F(SynHttpSrvTest, Http11KeepsTheConnectionAndUnclaimedRequestsAre404) {
  TRawClient client(server_.Port());
  const std::string expected =
      "HTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
      "Date: <date>\r\nContent-Length: 0\r\n\r\n";
  for (int round = 0; round < 2; ++round) {
    client.Send("GET /nothing HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(WithoutDate(client.ReadHead()), expected);
  }
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, Http10ClosesUnlessKeepAliveIsAsked) {
  {
    TRawClient client(server_.Port());
    client.Send("GET /text HTTP/1.0\r\n\r\n");
    EXPECT_EQ(WithoutDate(client.ReadAll()),
              "HTTP/1.0 200 OK\r\nConnection: close\r\nServer: SynHttpSrv/1.0\r\n"
              "Etag: \"v1\"\r\nDate: <date>\r\nContent-Length: 10\r\n\r\n0123456789");
    EXPECT_TRUE(client.Closed());
  }
  TRawClient client(server_.Port());
  client.Send("GET /text HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("\r\nConnection: keep-alive\r\n"), std::string::npos);
  EXPECT_EQ(client.Read(10), "0123456789");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, ConnectionCloseTokenEndsAnHttp11Connection) {
  TRawClient client(server_.Port());
  client.Send("GET /nothing HTTP/1.1\r\nConnection: keep-alive, Close\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadAll()),
            "HTTP/1.1 404 Not Found\r\nConnection: close\r\nServer: SynHttpSrv/1.0\r\n"
            "Date: <date>\r\nContent-Length: 0\r\n\r\n");
  EXPECT_TRUE(client.Closed());
}

// Without a version there is no status line to answer with; other unknown versions get 400.
TEST_F(SynHttpSrvTest, UnsupportedVersionsAreRefused) {
  TRawClient oldForm(server_.Port());
  oldForm.Send("GET /text\r\n\r\n");
  EXPECT_TRUE(oldForm.ClosedWithoutData());
  for (const char* request :
       {"GET /text HTTP/0.9\r\n\r\n", "GET /text HTTP/1.00\r\n\r\n", "GET /text FTP/1.1\r\n\r\n"}) {
    TRawClient client(server_.Port());
    client.Send(request);
    EXPECT_NE(client.ReadAll().find(" 400 Bad Request\r\n"), std::string::npos) << request;
    EXPECT_TRUE(client.Closed()) << request;
  }
}

// Lower-case letters sort after capitals, so a lower-case version counts as HTTP/1.1 or later.
TEST_F(SynHttpSrvTest, LowerCaseVersionsCountAsHttp11) {
  TRawClient client(server_.Port());
  client.Send("GET /text http/1.0\r\n\r\n");
  EXPECT_EQ(client.ReadHead().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(client.Read(10), "0123456789");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, ExpectContinueGetsTheInterimAnswerFirst) {
  TRawClient client(server_.Port());
  client.Send("POST /echo HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(client.ReadHead(), "HTTP/1.1 100 Continue\r\n\r\n");
  client.Send("hello");
  const std::string head = client.ReadHead();
  EXPECT_EQ(WithoutDate(head + client.Read(5)),
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
            "Date: <date>\r\nContent-Length: 5\r\n\r\nhello");
}

TEST_F(SynHttpSrvTest, AnyOtherExpectationIsRefusedAndCloses) {
  TRawClient client(server_.Port());
  client.Send("POST /echo HTTP/1.1\r\nExpect: something\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(client.ReadAll(), "HTTP/1.1 417 Expectation Failed\r\n\r\n");
  EXPECT_TRUE(client.Closed());
}

TEST_F(SynHttpSrvTest, SingleByteRangesOfAFile) {
  const std::string body = Pattern(200);
  struct TCase {
    const char* range;
    const char* contentRange;
    size_t first;
    size_t count;
  };
  const TCase cases[] = {{"bytes=0-99", "0-99/200", 0, 100},
                         {"bytes=-500", "0-199/200", 0, 200},
                         {"bytes=150-999", "150-199/200", 150, 50},
                         {"Bytes = -20", "180-199/200", 180, 20}};
  TRawClient client(server_.Port());
  for (const TCase& c : cases) {
    client.Send(std::string("GET /files/data.txt HTTP/1.1\r\nRange: ") + c.range + "\r\n\r\n");
    EXPECT_EQ(WithoutDate(client.ReadHead()), FileHeadStart("HTTP/1.1 206 Partial Content") +
                                                  "Content-Length: " + std::to_string(c.count) +
                                                  "\r\nContent-Range: bytes " + c.contentRange +
                                                  "\r\n\r\n")
        << c.range;
    EXPECT_EQ(client.Read(c.count), body.substr(c.first, c.count)) << c.range;
  }
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, UnsatisfiableAndMultipleRanges) {
  TRawClient client(server_.Port());
  client.Send("GET /files/data.txt HTTP/1.1\r\nRange: bytes=300-\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            FileHeadStart("HTTP/1.1 416 Requested Range Not Satisfiable") +
                "Content-Range: */200\r\n\r\n");
  client.Send("GET /files/data.txt HTTP/1.1\r\nRange: bytes=0-9,20-29\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            FileHeadStart("HTTP/1.1 200 OK") + "Content-Length: 200\r\n\r\n");
  EXPECT_EQ(client.Read(200), Pattern(200));
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, RangesBeyondFourGibibytesOfASparseFile) {
  constexpr int64_t kSize = (int64_t{5} << 30) + 200;
  constexpr int64_t kOffset = (int64_t{4} << 30) + 100;
  const std::string big = folder_.File("big.bin");
  {
    std::ofstream out(big, std::ios::binary);
    out.seekp(kOffset);
    out << "beyond-4GiB";
    out.seekp(kSize - 4);
    out << "tail";
  }
  ASSERT_EQ(static_cast<int64_t>(std::filesystem::file_size(big)), kSize);
  TRawClient client(server_.Port());
  client.Send("GET /files/big.bin HTTP/1.1\r\nRange: bytes=" + std::to_string(kOffset) + "-" +
              std::to_string(kOffset + 10) + "\r\n\r\n");
  const std::string head = client.ReadHead();
  EXPECT_NE(head.find("\r\nContent-Length: 11\r\nContent-Range: bytes " + std::to_string(kOffset) +
                      "-" + std::to_string(kOffset + 10) + "/" + std::to_string(kSize) + "\r\n"),
            std::string::npos)
      << head;
  EXPECT_EQ(client.Read(11), "beyond-4GiB");
  client.Send("HEAD /files/big.bin HTTP/1.1\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("\r\nContent-Length: " + std::to_string(kSize) + "\r\n"),
            std::string::npos);
  client.Send("GET /files/big.bin HTTP/1.1\r\nRange: bytes=-4\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("Content-Range: bytes " + std::to_string(kSize - 4) + "-" +
                                   std::to_string(kSize - 1) + "/" + std::to_string(kSize)),
            std::string::npos);
  EXPECT_EQ(client.Read(4), "tail");
  client.Send("GET /files/big.bin HTTP/1.1\r\nRange: bytes=" + std::to_string(kOffset) + "-" +
              std::to_string(kOffset + 99999) + "\r\n\r\n");  // large: sent by the system
  client.ReadHead();
  EXPECT_EQ(client.Read(100000), "beyond-4GiB" + std::string(100000 - 11, '\0'));
}

TEST_F(SynHttpSrvTest, LargeFilesWholeAndInRangesKeepTheConnection) {
  const std::string body = Pattern(300000);
  folder_.Write("large.bin", body);
  TRawClient client(server_.Port());
  for (int round = 0; round < 2; ++round) {
    client.Send("GET /files/large.bin HTTP/1.1\r\n\r\n");
    EXPECT_NE(client.ReadHead().find("\r\nContent-Length: 300000\r\n"), std::string::npos);
    EXPECT_EQ(client.Read(body.size()), body);
  }
  client.Send("GET /files/large.bin HTTP/1.1\r\nRange: bytes=20000-279999\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("\r\nContent-Length: 260000\r\n"), std::string::npos);
  EXPECT_EQ(client.Read(260000), body.substr(20000, 260000));
  client.Send("GET /files/large.bin HTTP/1.1\r\nRange: bytes=-20000\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("\r\nContent-Length: 20000\r\n"), std::string::npos);
  EXPECT_EQ(client.Read(20000), body.substr(280000));
  client.Send("GET /text HTTP/1.1\r\n\r\n");
  client.ReadHead();
  EXPECT_EQ(client.Read(10), "0123456789");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, IfModifiedSinceOnAFile) {
  const std::string modified = FormatHttpDate(FileModifiedUtc(file_), false);
  TRawClient client(server_.Port());
  client.Send("GET /files/data.txt HTTP/1.1\r\nIf-Modified-Since: " + modified + "\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            FileHeadStart("HTTP/1.1 304 Not Modified") + "Content-Length: 200\r\n\r\n");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));

  for (const char* since : {"Sun, 06 Nov 1994 08:49:37 GMT", "not a date"}) {
    client.Send(std::string("GET /files/data.txt HTTP/1.1\r\nIf-Modified-Since: ") + since +
                "\r\n\r\n");
    EXPECT_EQ(WithoutDate(client.ReadHead()),
              FileHeadStart("HTTP/1.1 200 OK") + "Content-Length: 200\r\n\r\n")
        << since;
    EXPECT_EQ(client.Read(200), Pattern(200));
  }
}

TEST_F(SynHttpSrvTest, IfModifiedSinceWithoutLastModifiedAndForMozilla) {
  TRawClient client(server_.Port());
  client.Send("GET /text HTTP/1.1\r\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            "HTTP/1.1 304 Not Modified\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
            "Etag: \"v1\"\r\nDate: <date>\r\nContent-Length: 10\r\n\r\n");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));

  TRawClient browser(server_.Port());
  browser.Send(
      "GET /text HTTP/1.1\r\nUser-Agent: Mozilla/5.0 (X11)\r\n"
      "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n");
  EXPECT_EQ(WithoutDate(browser.ReadAll()),
            "HTTP/1.1 304 Not Modified\r\nConnection: close\r\nServer: SynHttpSrv/1.0\r\n"
            "Etag: \"v1\"\r\nDate: <date>\r\nContent-Length: 10\r\n\r\n");
  EXPECT_TRUE(browser.Closed());
}

TEST_F(SynHttpSrvTest, EntityTagConditions) {
  const std::string head200 =
      "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
      "Etag: \"v1\"\r\nDate: <date>\r\nContent-Length: 10\r\n\r\n";
  TRawClient client(server_.Port());
  client.Send("GET /text HTTP/1.1\r\nRange: bytes=0-4\r\nIf-Range: \"v2\"\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()), head200);
  EXPECT_EQ(client.Read(10), "0123456789");

  client.Send("GET /text HTTP/1.1\r\nRange: bytes=2-4\r\nIf-Range: \"v1\"\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            "HTTP/1.1 206 Partial Content\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
            "Etag: \"v1\"\r\nDate: <date>\r\nContent-Length: 3\r\nContent-Range: bytes 2-4/10"
            "\r\n\r\n");
  EXPECT_EQ(client.Read(3), "234");

  client.Send("GET /text HTTP/1.1\r\nIf-None-Match: *\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            "HTTP/1.1 412 Precondition Failed\r\nConnection: keep-alive\r\nServer: "
            "SynHttpSrv/1.0\r\nEtag: \"v1\"\r\nDate: <date>\r\nContent-Length: 10\r\n\r\n");
  client.Send("GET /text HTTP/1.1\r\nIf-Match: \"v0\", \"v1\"\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()), head200);
  EXPECT_EQ(client.Read(10), "0123456789");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, HeadGetsTheHeadOfGetWithoutBody) {
  TRawClient client(server_.Port());
  client.Send("GET /files/data.txt HTTP/1.1\r\n\r\n");
  const std::string getHead = WithoutDate(client.ReadHead());
  EXPECT_EQ(client.Read(200), Pattern(200));
  client.Send("head /files/data.txt HTTP/1.1\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()), getHead);
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
}

TEST_F(SynHttpSrvTest, ChunkedTextBody) {
  TRawClient client(server_.Port());
  client.Send("GET /chunked HTTP/1.1\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadHead()),
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
            "Etag: \"v1\"\r\nDate: <date>\r\nTransfer-Encoding: chunked\r\n\r\n");
  EXPECT_EQ(client.Read(20), "a\r\n0123456789\r\n0\r\n\r\n");
}

TEST_F(SynHttpSrvTest, AnEmptiedResponseSendsNothingAndKeepsTheConnection) {
  TRawClient client(server_.Port());
  client.Send("GET /empty HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(client.StaysSilent(kSilenceMs));
  client.Send("GET /text HTTP/1.1\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("HTTP/1.1 200 OK"), std::string::npos);
}

TEST_F(SynHttpSrvTest, AFailingHandlerClosesItsConnectionOnly) {
  TRawClient bystander(server_.Port());
  bystander.Send("GET /text HTTP/1.1\r\n\r\n");
  EXPECT_FALSE(bystander.ReadHead().empty());
  EXPECT_EQ(bystander.Read(10), "0123456789");
  {
    TRawClient client(server_.Port());
    client.Send("GET /raise HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(client.ClosedWithoutData());
  }
  bystander.Send("GET /text HTTP/1.1\r\n\r\n");
  EXPECT_NE(bystander.ReadHead().find("200 OK"), std::string::npos);
  TRawClient next(server_.Port());
  next.Send("GET /text HTTP/1.1\r\n\r\n");
  EXPECT_NE(next.ReadHead().find("200 OK"), std::string::npos);
}

// A CR LF after a body is an empty request line: the next request's lines become its headers,
// and the exchange ends without an answer for lack of a version.
TEST_F(SynHttpSrvTest, AStrayLineBreakSwallowsTheNextRequest) {
  TRawClient client(server_.Port());
  client.Send(
      "POST /echo HTTP/1.1\r\nContent-Length: 2\r\n\r\nab\r\n"
      "GET /text HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadAll()),
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nServer: SynHttpSrv/1.0\r\n"
            "Date: <date>\r\nContent-Length: 2\r\n\r\nab");
  EXPECT_TRUE(client.Closed());
}

// An endless request line closes the connection; an endless header line is answered with 431.
TEST_F(SynHttpSrvTest, OverlongLinesAreRefused) {
  const std::string longText(TSynHttpServer::kMaxLineLength + 10, 'x');
  {
    TRawClient client(server_.Port());
    client.Send("GET /" + longText + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(client.ClosedWithoutData());
  }
  {
    TRawClient client(server_.Port());
    client.Send("GET /text HTTP/1.1\r\nX-Long: " + longText + "\r\n\r\n");
    EXPECT_EQ(client.ReadAll().rfind("HTTP/1.1 431 Request Header Fields Too Large\r\n", 0), 0u);
    EXPECT_TRUE(client.Closed());
  }
  TRawClient client(server_.Port());
  client.Send("GET /text HTTP/1.1\r\nX-Long: " + std::string(60000, 'y') + "\r\n\r\n");
  EXPECT_NE(client.ReadHead().find("200 OK"), std::string::npos);
}

TEST_F(SynHttpSrvTest, BodiesAboveTheLimitAreRefusedUnread) {
  TRawClient client(server_.Port());
  client.Send("POST /echo HTTP/1.1\r\nContent-Length: " +
              std::to_string(TSynHttpServer::kMaxRequestBody + 1) + "\r\n\r\n");
  EXPECT_EQ(WithoutDate(client.ReadAll()),
            "HTTP/1.1 413 Request Entity Too Large\r\nConnection: close\r\nServer: "
            "SynHttpSrv/1.0\r\nDate: <date>\r\nContent-Length: 0\r\n\r\n");
  EXPECT_TRUE(client.Closed());

  TRawClient huge(server_.Port());
  huge.Send("POST /echo HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n");
  EXPECT_NE(huge.ReadAll().find("HTTP/1.0 413 Request Entity Too Large\r\n"), std::string::npos);

  const std::string body = Pattern(static_cast<size_t>(TSynHttpServer::kMaxRequestBody));
  TRawClient full(server_.Port());
  full.Send("POST /echo HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
            body);
  EXPECT_NE(full.ReadHead().find("200 OK"), std::string::npos);
  EXPECT_EQ(full.Read(body.size()), body);
}

TEST(SynHttpSrvLogTest, WritesTheTraceLinesWhole) {
  TTestServer server;
  ::testing::internal::CaptureStdout();
  server.Start();
  {
    TRawClient client(server.Port());
    client.Send("GET /x?a=1 HTTP/1.1\r\nHost: here\r\n\r\n");
    EXPECT_FALSE(client.ReadHead().empty());
  }
  server.Server().SetActive(false);
  server.Server().SetActive(false);
  const std::string output = ::testing::internal::GetCapturedStdout();
  const std::string port = server.Server().Port();  // the text the trace names
  EXPECT_EQ(WithoutDate(output),
            "Starting http server on port " + port +
                "\nDone.\n"
                "Command:\r\nGET /x?a=1 HTTP/1.1\n"
                "Request headers:\r\nHost: here\r\n\n"
                "Response headers:\r\nHTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\n"
                "Server: SynHttpSrv/1.0\r\nDate: <date>\r\nContent-Length: 0\r\n\r\n\n"
                "Stoping http server on port " +
                port + "\nDone.\n");
}

// Bytes from the network reach the trace with their control characters escaped, so they can
// neither drive the terminal nor forge trace lines.
TEST(SynHttpSrvLogTest, EscapesControlBytesFromTheNetwork) {
  TTestServer server;
  server.Start();
  ::testing::internal::CaptureStdout();
  {
    TRawClient client(server.Port());
    client.Send("GET /a\x1b[31mb HTTP/1.1\r\n\r\n");
    client.ReadAll();
    TRawClient other(server.Port());
    other.Send("GET /c HTTP/1.1\r\nX-Name: a\tb \xc2\x9b" "2J\r\n\r\n");  // C1 in UTF-8
    EXPECT_FALSE(other.ReadHead().empty());
    // A cent sign shares its lead byte with the C1 codes and stays as it is.
    TRawClient third(server.Port());
    third.Send("GET /d HTTP/1.1\r\nX-Price: 5\xc2\xa2\r\n\r\n");
    EXPECT_FALSE(third.ReadHead().empty());
  }
  server.Destroy();
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("Command:\r\nGET /a\\x1b[31mb HTTP/1.1\n"), std::string::npos) << output;
  EXPECT_NE(output.find("X-Name: a\\x09b \\xc2\\x9b2J\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("X-Price: 5\xc2\xa2\r\n"), std::string::npos) << output;
  EXPECT_EQ(output.find('\x1b'), std::string::npos);
  EXPECT_EQ(output.find("\xc2\x9b"), std::string::npos);
}

// A client that never reads a large answer does not hold its worker beyond the send timeout.
TEST(SynHttpSrvSendTest, AClientThatNeverReadsIsDroppedAtTheSendTimeout) {
  TTestServer server;
  const std::string big(64 << 20, 'b');
  server.Handle([&big](auto&, auto& response) {
    response->SetStatus(200);
    response->Content = big;
    return true;
  });
  server.Server().SetSendTimeout(300);
  server.Start();
  TRawClient client(server.Port());
  client.Send("GET /big HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(testing::WaitFor([&server] { return server.Server().ConnectionCount() == 1; }));
  // Nothing is read: the buffers fill, the send stalls, and the server ends the connection.
  EXPECT_TRUE(testing::WaitFor([&server] { return server.Server().ConnectionCount() == 0; }));
}

// What the answer was made from is released only after the answer has gone out: the client has
// the whole answer while the release still waits for the test's word.
TEST(SynHttpSrvSendTest, WhatAnAnswerKeepsIsReleasedAfterTheAnswerIsSent) {
  std::promise<void> answerRead;
  std::shared_future<void> mayRelease = answerRead.get_future().share();
  std::atomic<bool> released{false};
  TTestServer server;
  server.Handle([&](auto&, auto& response) {
    response->SetStatus(200);
    response->Content = "made";
    response->KeptUntilSent = std::shared_ptr<const int>(new int(1), [&](const int* kept) {
      // Without the test's word within the limit, the answer waited for the release.
      mayRelease.wait_for(std::chrono::seconds(5));
      released = true;
      delete kept;
    });
    return true;
  });
  server.Start();
  TRawClient client(server.Port());
  client.Send("GET /made HTTP/1.1\r\n\r\n");
  EXPECT_FALSE(client.ReadHead().empty());
  EXPECT_EQ(client.Read(4), "made");
  EXPECT_FALSE(released) << "released before the answer was sent";
  answerRead.set_value();
  EXPECT_TRUE(testing::WaitFor([&released] { return released.load(); }));
}

TEST_F(SynHttpSrvTest, LogsTheModificationDateChecks) {
  TRawClient client(server_.Port());
  ::testing::internal::CaptureStdout();
  client.Send(
      "GET /files/data.txt HTTP/1.1\r\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT"
      "\r\n\r\n");
  client.ReadHead();
  client.Read(200);
  client.Send("GET /text HTTP/1.1\r\nIf-Modified-Since: yesterday\r\n\r\n");
  client.ReadHead();
  const std::string output = ::testing::internal::GetCapturedStdout();
  const std::string modified = FormatHttpDate(FileModifiedUtc(file_), false);
  EXPECT_NE(output.find("If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\nLast-Modified: " +
                        modified + "\nIs modified: Date=34644.4"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("\nFailed parse date \"yesterday\"\n"), std::string::npos) << output;
}

}  // namespace
}  // namespace webtessl
