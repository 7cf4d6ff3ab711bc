#include "http/RequestFraming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/SynHttpSrv.h"
#include "tests/http/TestServer.h"

namespace webtessl {
namespace {

using testing::TRawClient;
using testing::TTestServer;

// A real server on loopback: "/echo" answers the request body, "/moved" redirects to a location
// made of its query, raw; everything else stays unclaimed (404).
class RequestFramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Handle([](auto& request, auto& response) {
      const std::string& uri = request->URI;
      if (uri == "/echo") {
        response->SetStatus(200);
        response->Content = request->Content;
        return true;
      }
      if (uri.rfind("/moved?", 0) == 0) {
        response->Redirect(uri.substr(7) + std::string("\n\rSet-Cookie: a=1"));
        return true;
      }
      return false;
    });
    server_.Start();
  }

  // Sends the bytes on a new connection; the whole answer up to the server's close.
  std::string Exchange(const std::string& bytes) {
    TRawClient client(server_.Port());
    client.Send(bytes);
    std::string answer = client.ReadAll();
    closed_ = client.Closed();
    return answer;
  }

  // The status line of an answer.
  static std::string StatusOf(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
  }

  TTestServer server_;
  bool closed_ = false;
};

// A length that a proxy could read otherwise than this server is refused, and the connection
// closed, before any of the body is taken as a request.
TEST_F(RequestFramingTest, OnlyPlainDecimalLengthsThatAgreeAreAccepted) {
  for (const char* length : {"0x32", "$32", "+50", "-50", "50, 50", "5 0", "", "50abc"}) {
    const std::string answer = Exchange("POST /echo HTTP/1.1\r\nContent-Length: " +
                                        std::string(length) + "\r\n\r\nGET /echo HTTP/1.1\r\n\r\n");
    EXPECT_EQ(StatusOf(answer), "HTTP/1.1 400 Bad Request") << length;
    EXPECT_EQ(answer.find("HTTP/1.1", 10), std::string::npos) << "a second answer: " << length;
    EXPECT_TRUE(closed_) << length;
  }
  EXPECT_EQ(StatusOf(Exchange("POST /echo HTTP/1.1\r\nContent-Length: 2\r\n"
                              "Content-Length: 3\r\n\r\nabc")),
            "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(StatusOf(Exchange("POST /echo HTTP/1.1\r\nContent-Length : 3\r\n\r\nabc")),
            "HTTP/1.1 400 Bad Request");

  TRawClient agreeing(server_.Port());
  agreeing.Send("POST /echo HTTP/1.1\r\nContent-Length: 3\r\ncontent-length:  003 \r\n\r\nabc");
  EXPECT_NE(agreeing.ReadHead().find("200 OK"), std::string::npos);
  EXPECT_EQ(agreeing.Read(3), "abc");
}

// A transfer coding is refused whatever else the head says, so the chunk lines never become
// requests of their own.
TEST_F(RequestFramingTest, TransferEncodingIsRefusedWith501AndACloseAlone) {
  const std::string chunked = "5\r\nhello\r\n0\r\n\r\n";
  for (const char* head :
       {"POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
        "POST /echo HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
        "POST /echo HTTP/1.0\r\ntransfer-encoding: gzip, chunked\r\n\r\n"}) {
    const std::string answer = Exchange(std::string(head) + chunked);
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")).substr(9), "501 Not Implemented") << head;
    EXPECT_EQ(answer.find("HTTP/1.", 10), std::string::npos) << head;
    EXPECT_TRUE(closed_) << head;
  }
}

// Control bytes in a request line are refused: the target never carries a line break into the
// answer's headers.
TEST_F(RequestFramingTest, ControlBytesInTheRequestLineAre400) {
  for (const std::string& line :
       {std::string("GET /x\nSet-Cookie: a=1/.. HTTP/1.1"), std::string("GET /x\ry HTTP/1.1"),
        std::string("GET /x\0y HTTP/1.1", 17), std::string("GET /\x1b[2J HTTP/1.1")}) {
    const std::string answer = Exchange(line + "\r\n\r\n");
    EXPECT_EQ(StatusOf(answer), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(answer.find("Set-Cookie"), std::string::npos);
    EXPECT_TRUE(closed_);
  }
}

TEST_F(RequestFramingTest, ARedirectLocationNeverCarriesAControlByte) {
  TRawClient client(server_.Port());
  client.Send("GET /moved?/folder/ HTTP/1.1\r\n\r\n");
  const std::string head = client.ReadHead();
  EXPECT_NE(head.find("\r\nLocation: /folder/%0A%0DSet-Cookie: a=1\r\n"), std::string::npos)
      << head;
  EXPECT_EQ(head.find("\r\nSet-Cookie"), std::string::npos);
}

// Requests that cannot be understood are told so; only the old one-line form (no version, so
// no status line to answer with) is closed without a word.
TEST_F(RequestFramingTest, MalformedRequestsGet400WhereAnAnswerCanBeGiven) {
  for (const char* request :
       {"GET /x HTTP/1.1\r\nNo colon here\r\n\r\n", "GET /x HTTP/1.1\r\n: empty name\r\n\r\n",
        "GET /x HTTP/1.1\r\n continued first\r\n\r\n", "GET /x HTTP/1.1\r\nA: b\x01\r\n\r\n",
        "GET /x HTTP/0.9\r\n\r\n", "GET /x FTP/1.1\r\n\r\n", "GET /x HTTP/1.00\r\n\r\n"}) {
    const std::string answer = Exchange(request);
    EXPECT_EQ(answer.substr(9, answer.find("\r\n") - 9), "400 Bad Request") << request;
    EXPECT_TRUE(closed_) << request;
  }
  TRawClient oldForm(server_.Port());
  oldForm.Send("GET /x\r\n\r\n");
  EXPECT_TRUE(oldForm.ClosedWithoutData());
}

// Header lines are capped in number and in bytes (continuations included); a head within both
// is served.
TEST_F(RequestFramingTest, TooManyOrTooLargeHeadersAre431) {
  // HTTP/1.0, so that a served request ends with the connection too.
  const auto headWith = [](int lines, size_t valueSize, bool folded) {
    std::string head = "GET /x HTTP/1.0\r\n";
    for (int i = 0; i < lines; ++i) {
      head += folded && i > 0 ? " " : "X-" + std::to_string(i) + ": ";
      head += std::string(valueSize, 'v') + "\r\n";
    }
    return head + "\r\n";
  };
  const int most = TSynHttpServer::kMaxHeaderLines;
  EXPECT_EQ(StatusOf(Exchange(headWith(most, 10, false))), "HTTP/1.0 404 Not Found");
  EXPECT_EQ(StatusOf(Exchange(headWith(most + 1, 10, false))),
            "HTTP/1.0 431 Request Header Fields Too Large");
  EXPECT_TRUE(closed_);
  EXPECT_EQ(StatusOf(Exchange(headWith(2, 40000, false))),
            "HTTP/1.0 431 Request Header Fields Too Large");
  EXPECT_EQ(StatusOf(Exchange(headWith(90, 1000, true))),
            "HTTP/1.0 431 Request Header Fields Too Large");
  EXPECT_EQ(StatusOf(Exchange(headWith(1, TSynHttpServer::kMaxLineLength + 10, false))),
            "HTTP/1.0 431 Request Header Fields Too Large");
  EXPECT_EQ(StatusOf(Exchange(headWith(50, 1000, true))), "HTTP/1.0 404 Not Found");
}

TEST(RequestFramingRulesTest, HeaderLinesAndRequestLines) {
  EXPECT_TRUE(IsWellFormedHeaderLine("Host: a"));
  EXPECT_TRUE(IsWellFormedHeaderLine("X:"));
  EXPECT_TRUE(IsWellFormedHeaderLine("\tcontinued"));
  EXPECT_TRUE(IsWellFormedHeaderLine("A: tab\tinside"));
  EXPECT_FALSE(IsWellFormedHeaderLine("Host : a"));
  EXPECT_FALSE(IsWellFormedHeaderLine("Ho st: a"));
  EXPECT_FALSE(IsWellFormedHeaderLine("Host a"));
  EXPECT_FALSE(IsWellFormedHeaderLine("A: \x7f"));
  EXPECT_TRUE(IsCleanRequestLine("GET /\xc3\xa4 HTTP/1.1"));
  EXPECT_FALSE(IsCleanRequestLine("GET /\t HTTP/1.1"));
  EXPECT_FALSE(IsCleanRequestLine("GET /\x7f HTTP/1.1"));
}

TEST(RequestFramingRulesTest, LengthsSaturateInsteadOfWrapping) {
  THeaderList headers;
  headers.Add("Content-Length: 99999999999999999999999999");
  const TRequestBody body = JudgeRequestBody(headers);
  EXPECT_EQ(body.Framing, TBodyFraming::Length);
  EXPECT_GT(body.Length, TSynHttpServer::kMaxRequestBody);
  THeaderList none;
  EXPECT_EQ(JudgeRequestBody(none).Length, 0);
}

}  // namespace
}  // namespace webtessl
