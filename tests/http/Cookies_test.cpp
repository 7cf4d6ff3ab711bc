#include "http/Cookies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace webtessl {
namespace {

THeaderList Headers(const std::vector<std::string>& lines) {
  THeaderList list;
  for (const std::string& line : lines) list.Add(line);
  return list;
}

TEST(CookieParseTest, FirstPairIsTheCookieAndKnownAttributesFollow) {
  THttpCookie cookie;
  ASSERT_TRUE(cookie.Parse(
      "sid=\"a b\"; other=1; Path=/app; EXPIRES=Wed, 09 Jun 2021; domain=example.org; Secure; "
      "Version=1; unknown=x"));
  EXPECT_EQ(cookie.Name, "sid");
  EXPECT_EQ(cookie.Value, "\"a b\"");
  EXPECT_EQ(cookie.Path, "/app");
  EXPECT_EQ(cookie.Expires, "Wed, 09 Jun 2021");
  EXPECT_EQ(cookie.Domain, "example.org");
  EXPECT_TRUE(cookie.Secure);
  EXPECT_EQ(cookie.Version, "1");
}

TEST(CookieParseTest, DollarAttributesAreNeverTheCookie) {
  THttpCookie cookie;
  ASSERT_TRUE(cookie.Parse("$Version=1; id=42 ; $Path=/x; $Domain=d"));
  EXPECT_EQ(cookie.Name, "id");
  EXPECT_EQ(cookie.Value, "42");
  EXPECT_EQ(cookie.Version, "1");
  EXPECT_EQ(cookie.Path, "/x");
  EXPECT_EQ(cookie.Domain, "d");

  THttpCookie attributesOnly;
  EXPECT_FALSE(attributesOnly.Parse("$Version=1; $Path=/"));
  EXPECT_FALSE(attributesOnly.Parse(" ; ;; "));
  THttpCookie valueless;
  EXPECT_TRUE(valueless.Parse("flag"));
  EXPECT_EQ(valueless.Name, "flag");
  EXPECT_EQ(valueless.Value, "");
}

TEST(CookieTextTest, WritesPairsInFixedOrderAndQuotesWhenNeeded) {
  THttpCookie cookie;
  cookie.Name = "id";
  cookie.Value = "42";
  cookie.Comment = "say \"hi\"";
  cookie.MaxAge = "3600";
  cookie.Domain = "example.org";
  cookie.Path = "/a b";
  cookie.Version = "1";
  cookie.Expires = "never written";
  cookie.Secure = true;
  EXPECT_EQ(
      cookie.CookieText(),
      R"(id=42; Version=1; Path="/a b"; Domain=example.org; Max-Age=3600; Comment="say \"hi\""; secure)");
  for (const char* value : {"a,b", "a;b", "a=b", "a\tb", "a\\\"b"}) {
    cookie.Value = value;
    EXPECT_EQ(cookie.CookieText().substr(0, 4), "id=\"") << value;
  }
  // A cookie without a value loses its name.
  THttpCookie empty;
  empty.Name = "gone";
  empty.Path = "/";
  EXPECT_EQ(empty.CookieText(), "Path=/");
}

TEST(CookieAssignTest, CopiesAllButVersionAndComment) {
  THttpCookie source;
  source.Name = "n";
  source.Value = "v";
  source.Domain = "d";
  source.Path = "p";
  source.Expires = "e";
  source.MaxAge = "1";
  source.Secure = true;
  source.Version = "1";
  source.Comment = "c";
  THttpCookie target;
  target.Version = "0";
  target.Assign(source);
  EXPECT_EQ(target.CookieText(), "n=v; Version=0; Path=p; Domain=d; Max-Age=1; secure");
  EXPECT_EQ(target.Expires, "e");
}

TEST(CookieCollectionTest, RequestCookiesSplitAtCommasNotSemicolons) {
  THttpCookies cookies;
  cookies.Add().Name = "stale";
  cookies.ParseRequestCookies(
      Headers({"Cookie: a=1; b=2", "Host: h", "cookie: c=3, \"x,y\"=4, $Path=/"}));
  ASSERT_EQ(cookies.Count(), 3);
  EXPECT_EQ(cookies[0].Name, "a");
  EXPECT_EQ(cookies[0].Value, "1");
  EXPECT_EQ(cookies[1].Name, "c");
  EXPECT_EQ(cookies[2].Name, "\"x,y\"");
  EXPECT_THROW(static_cast<void>(cookies[3]), EStringListError);
}

TEST(CookieCollectionTest, OldStyleRequestHeaderWithDollarAttributes) {
  THttpCookies cookies;
  cookies.ParseRequestCookies(
      Headers({"Cookie: $Version=\"1\"; Customer=\"WILE\"; $Path=\"/acme\""}));
  ASSERT_EQ(cookies.Count(), 1);
  EXPECT_EQ(cookies[0].Name, "Customer");
  EXPECT_EQ(cookies[0].Value, "\"WILE\"");
  EXPECT_EQ(cookies[0].Version, "\"1\"");
  EXPECT_EQ(cookies[0].Path, "\"/acme\"");
}

TEST(CookieCollectionTest, ResponseCookiesSplitAnExpiresDateAtItsComma) {
  THttpCookies cookies;
  cookies.ParseResponseCookies(Headers(
      {"Set-Cookie2: z=9", "Set-Cookie: id=1; expires=Wed, 09 Jun 2021 10:18:14 GMT; path=/"}));
  ASSERT_EQ(cookies.Count(), 3);
  EXPECT_EQ(cookies[0].Name, "id");
  EXPECT_EQ(cookies[0].Expires, "Wed");
  EXPECT_EQ(cookies[1].Name, "09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(cookies[1].Path, "/");
  EXPECT_EQ(cookies[2].Name, "z");
}

TEST(CookieCollectionTest, WriteSetCookiesReplacesHeadersAndFillsDefaults) {
  THeaderList headers = Headers({"Set-Cookie: old=1", "Set-Cookie2: kept=1", "Server: s"});
  THttpCookies cookies;
  THttpCookie& id = cookies.Add();
  id.Name = "id";
  id.Value = "42";
  id.Secure = true;
  THttpCookie& other = cookies.Add();
  other.Name = "o";
  other.Value = "x";
  other.Domain = "own.example";
  other.Path = "/own";
  cookies.WriteSetCookies(headers, "example.org", "/");
  EXPECT_EQ(headers.Text(),
            "Set-Cookie2: kept=1\r\nServer: s\r\n"
            "Set-Cookie: id=42; Path=/; Domain=example.org; secure\r\n"
            "Set-Cookie: o=x; Path=/own; Domain=own.example\r\n");
  EXPECT_EQ(cookies[0].Domain, "example.org");
  EXPECT_EQ(cookies[0].Path, "/");
}

}  // namespace
}  // namespace webtessl
