#include "http/BasicAuthentication.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Base64.h"
#include "platform/PasswordHash.h"
#include "tests/http/TestServer.h"

namespace webtessl {
namespace {

using testing::TRawClient;
using testing::TTestServer;

TEST(PasswordHashTest, HashesAreSaltedAndOnlyTheRightPasswordMatches) {
  const std::string first = HashPassword("correct horse");
  const std::string second = HashPassword("correct horse");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);  // a fresh salt each time
  EXPECT_EQ(first.find("correct horse"), std::string::npos);
  EXPECT_TRUE(PasswordMatches("correct horse", first));
  EXPECT_TRUE(PasswordMatches("correct horse", second));
  EXPECT_FALSE(PasswordMatches("correct horsE", first));
  EXPECT_FALSE(PasswordMatches("", first));
  EXPECT_FALSE(PasswordMatches("correct horse", ""));
  EXPECT_FALSE(PasswordMatches("correct horse", "correct horse"));  // a plain text is no hash
}

TEST(Base64Test, DecodesTheStandardAlphabetAndRefusesTheRest) {
  EXPECT_EQ(DecodeBase64("dXNlcjpwYXNz"), "user:pass");
  EXPECT_EQ(DecodeBase64("YQ=="), "a");
  EXPECT_EQ(DecodeBase64("YWI="), "ab");
  EXPECT_EQ(DecodeBase64(""), "");
  EXPECT_FALSE(DecodeBase64("YQ=").has_value());
  EXPECT_FALSE(DecodeBase64("Y!==").has_value());
  EXPECT_FALSE(DecodeBase64("YQ==YQ==").has_value());
}

// A server with a password: no request reaches a handler without it; with it, the answers come
// as before, also on the same connection.
TEST(BasicAuthenticationTest, RequestsWithoutTheRightPasswordGet401AndAChallenge) {
  TTestServer server;
  server.Handle([](auto&, auto& response) {
    response->SetStatus(200);
    response->Content = "inside";
    return true;
  });
  server.Server().Authentication.emplace("ann", HashPassword("s3cret:x"));
  server.Start();
  const auto ask = [&server](const std::string& authorization) {
    TRawClient client(server.Port());
    client.Send("GET / HTTP/1.1\r\n" + authorization + "Connection: close\r\n\r\n");
    return client.ReadAll();
  };
  for (const std::string& wrong :
       {std::string(), std::string("Authorization: Basic YW5uOndyb25n\r\n"),  // ann:wrong
        std::string("Authorization: Basic Ym9iOnMzY3JldDp4\r\n"),             // bob:s3cret:x
        std::string("Authorization: Digest YW5uOnMzY3JldDp4\r\n"),
        std::string("Authorization: Basic !!!!\r\n")}) {
    const std::string answer = ask(wrong);
    EXPECT_EQ(answer.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u) << wrong;
    EXPECT_NE(answer.find("\r\nWWW-Authenticate: Basic realm=\"WebTessl\", charset=\"UTF-8\"\r\n"),
              std::string::npos);
    EXPECT_EQ(answer.find("inside"), std::string::npos);
  }
  for (int i = 0; i < 2; ++i) {  // the second time from what was remembered
    const std::string answer = ask("Authorization: basic YW5uOnMzY3JldDp4\r\n");  // ann:s3cret:x
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_TRUE(answer.ends_with("inside"));
  }
}

}  // namespace
}  // namespace webtessl
