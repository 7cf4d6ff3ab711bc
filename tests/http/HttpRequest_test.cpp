#include "http/HttpRequest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

TEST(HttpRequestTest, ParseRequestLineKeepsBlanksInTheUri) {
  THttpRequest request;
  request.ParseRequestLine("GET /my file.txt HTTP/1.1");
  EXPECT_EQ(request.Method, "GET");
  EXPECT_EQ(request.URI, "/my file.txt");
  EXPECT_EQ(request.Protocol, "HTTP/1.1");

  request.ParseRequestLine("get /index.html");
  EXPECT_EQ(request.Method, "get");
  EXPECT_EQ(request.URI, "/index.html");
  EXPECT_EQ(request.Protocol, "");

  request.ParseRequestLine("");
  EXPECT_EQ(request.Method, "");
  EXPECT_EQ(request.URI, "");
  EXPECT_EQ(request.Protocol, "");
}

TEST(HttpRequestTest, ParseHeadersTakesQueryItemsUndecoded) {
  THttpRequest request;
  request.URI = "/find?q=a%20b+c&&page=2";
  request.Headers.Add("Cookie: id=42; theme=dark");
  request.ParseHeaders(true);
  EXPECT_EQ(request.Params, (std::vector<std::string>{"q=a%20b+c", "page=2"}));
  EXPECT_EQ(request.ParamValue("PAGE"), "2");
  EXPECT_EQ(request.ParamValue("missing"), "");
  ASSERT_EQ(request.Cookies.Count(), 1);
}

TEST(HttpRequestTest, StatusLineFillsInDefaultsAndKeepsUnknownPhrases) {
  THttpRequest response;
  EXPECT_EQ(response.StatusLine(), "HTTP/1.0 500 Internal Server Error");
  EXPECT_EQ(response.Protocol, "HTTP/1.0");
  EXPECT_EQ(response.StatusCode, 500);

  response.SetStatus(404);
  response.SetStatus(418);
  EXPECT_EQ(response.StatusLine(), "HTTP/1.0 418 Not Found");
}

TEST(HttpRequestTest, HeaderAccessorsByIndex) {
  THttpRequest message;
  message.Headers.Add("Content-Type: multipart/form-data; boundary=xyz");
  EXPECT_EQ(message.GetHeader(THttpRequest::kMediaType), "multipart/form-data");
  EXPECT_EQ(message.GetHeader(THttpRequest::kBoundary), "xyz");
  EXPECT_EQ(message.GetHeader(THttpRequest::kContentType), "multipart/form-data; boundary=xyz");
  EXPECT_EQ(message.GetHeader(13), "");
  EXPECT_EQ(message.GetHeader(-1), "");

  THttpRequest response;
  response.SetHeader(THttpRequest::kBoundary, "b1");
  EXPECT_EQ(response.Headers.GetValue("Content-Type"), "multipart/mixed; boundary=\"b1\"");
  response.SetHeader(THttpRequest::kETag, "\"v1\"");
  EXPECT_EQ(response.Headers.GetValue("Etag"), "\"v1\"");
  response.SetHeader(THttpRequest::kETag, "");
  EXPECT_LT(response.Headers.IndexOfHeader("Etag"), 0);
  response.Redirect("/elsewhere/");
  EXPECT_EQ(response.StatusCode, 302);
  EXPECT_EQ(response.Headers.GetValue("Location"), "/elsewhere/");
}

TEST(HttpRequestTest, DateHeadersByIndex) {
  THttpRequest message;
  message.Headers.Add("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT");
  const double gmt = message.GetDateHeader(THttpRequest::kLastModifiedGmt);
  EXPECT_NEAR(gmt, 34644.0 + (8 * 3600 + 49 * 60 + 37) / 86400.0, 1e-9);
  EXPECT_DOUBLE_EQ(message.GetDateHeader(THttpRequest::kExpires), 0);
  EXPECT_DOUBLE_EQ(message.GetDateHeader(7), 0);
}

TEST(HttpRequestTest, MatchesEtagListsAndStar) {
  THttpRequest response;
  EXPECT_FALSE(response.MatchesEtag("*"));
  response.SetHeader(THttpRequest::kETag, "\"b\"");
  EXPECT_TRUE(response.MatchesEtag("\"a\", \"b\""));
  EXPECT_TRUE(response.MatchesEtag("*"));
  EXPECT_FALSE(response.MatchesEtag("\"B\""));
  EXPECT_FALSE(response.MatchesEtag(",,"));
}

TEST(HttpRequestTest, AssignTakesOverTheStreamAndSplitsTextLists) {
  THttpRequest source;
  source.Headers.Add("Host: here");
  source.URI = "/x";
  source.SetStatus(200);
  source.ContentStream = std::make_unique<std::istringstream>("body");
  source.Params.push_back("a=1");
  THttpRequest copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Headers.GetValue("Host"), "here");
  EXPECT_EQ(copy.URI, "/x");
  EXPECT_EQ(copy.StatusText, "OK");
  EXPECT_TRUE(copy.ContentStream);
  EXPECT_FALSE(source.ContentStream);
  EXPECT_TRUE(copy.Params.empty());

  THttpRequest fromText;
  fromText.Assign(std::vector<std::string>{"Host: a", " folded", "", "line 1", "line 2"});
  EXPECT_EQ(fromText.Headers.GetValue("Host"), "a\r\n folded");
  EXPECT_EQ(fromText.Content, "line 1\r\nline 2\r\n");
}

TEST(HttpRequestTest, ParseFormBodyAddsTextAndFileFields) {
  THttpRequest request;
  request.Headers.Add("Content-Type: multipart/form-data; boundary=----XyZ");
  request.Content =
      "------XyZ\r\n"
      "Content-Disposition: form-data; name=\"title\"\r\n"
      "\r\n"
      "My notes\r\n"
      "------XyZ\r\n"
      "Content-Disposition: form-data; name=\"upload\"; filename=\"a b.txt\"\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "line one\r\n--not a delimiter\r\n"
      "------XyZ--\r\n";
  request.ParseFormBody();
  EXPECT_EQ(request.Params, (std::vector<std::string>{"title=My notes", "upload=a b.txt"}));
}

TEST(HttpRequestTest, ParseFormBodyFindsTheBoundaryInTheBodyAndDropsOpenParts) {
  THttpRequest request;
  request.Content =
      "\r\n--sep\r\n"
      "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
      "--sep\r\n"
      "Content-Disposition: form-data; name=\"b\"\r\n\r\nnever closed";
  request.ParseFormBody();
  EXPECT_EQ(request.Params, (std::vector<std::string>{"a=1"}));

  THttpRequest noBoundary;
  noBoundary.Content = "a=1&b=2";
  noBoundary.ParseFormBody();
  EXPECT_TRUE(noBoundary.Params.empty());
}

TEST(HttpRequestFileTest, ServeFileOpensTheFileWithItsDateAndType) {
  const testing_support::TempFolder folder;
  const std::string css = folder.Write("style.css", "body{}");
  THttpRequest response;
  response.ServeFile(css);
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_NE(response.Headers.GetValue("Last-Modified"), "");
  EXPECT_LT(response.Headers.IndexOfHeader("Content-Type"), 0);
  ASSERT_TRUE(response.ContentStream);
  std::string body;
  std::getline(*response.ContentStream, body);
  EXPECT_EQ(body, "body{}");

  response.ServeFile(folder.Write("page.HTML", "<p>"));
  EXPECT_EQ(response.Headers.GetValue("Content-Type"), "text/html");
}

TEST(HttpRequestFileTest, ServeFileOfAMissingFileOrAFolderIsTheNotFoundAnswer) {
  const testing_support::TempFolder folder;
  THttpRequest response;
  response.ContentStream = std::make_unique<std::istringstream>("old");
  const std::string pipe = folder.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);  // without a writer: opening it must not wait
  for (const std::string& name : {folder.File("missing.txt"), folder.Path().string(), pipe}) {
    response.ServeFile(name);
    EXPECT_EQ(response.StatusCode, 404);
    EXPECT_EQ(response.StatusText, "Not Found");
    EXPECT_EQ(response.Content, "404 - not found.");
    EXPECT_EQ(response.Headers.GetValue("Content-Type"), "text/plain");
    EXPECT_FALSE(response.ContentStream);
  }
}

}  // namespace
}  // namespace webtessl
