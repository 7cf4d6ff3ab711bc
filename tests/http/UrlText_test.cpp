#include "http/UrlText.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace webtessl {
namespace {

// Switches the system code page for one test and back.
class TScopedCodePage {
 public:
  explicit TScopedCodePage(uint32_t codePage) : previous_(SystemCodePage()) {
    SetSystemCodePage(codePage);
  }
  ~TScopedCodePage() { SetSystemCodePage(previous_); }

 private:
  const uint32_t previous_;
};

const std::string kCjkUtf8 = "\xE4\xB8\xAD";  // U+4E2D

TEST(SplitUrlTest, RelativeUriWithQuery) {
  TUrlParts parts;
  EXPECT_EQ(SplitUrl("/find?q=a+b&start=10", parts), "/find?q=a+b&start=10");
  EXPECT_EQ(parts.protocol, "http");
  EXPECT_EQ(parts.host, "localhost");
  EXPECT_EQ(parts.port, "80");
  EXPECT_EQ(parts.path, "/find");
  EXPECT_EQ(parts.query, "q=a+b&start=10");
  EXPECT_EQ(parts.user, "");
  EXPECT_EQ(parts.password, "");
}

TEST(SplitUrlTest, AbsoluteUrlWithUserInformationAndIpv6Host) {
  TUrlParts parts;
  EXPECT_EQ(SplitUrl("https://user:pa:ss@[::1]:8443/a/b?c=1?d", parts), "/a/b?c=1?d");
  EXPECT_EQ(parts.protocol, "https");
  EXPECT_EQ(parts.user, "user");
  EXPECT_EQ(parts.password, "pa:ss");
  EXPECT_EQ(parts.host, "::1");
  EXPECT_EQ(parts.port, "8443");
  EXPECT_EQ(parts.path, "/a/b");
  EXPECT_EQ(parts.query, "c=1?d");
  SplitUrl("HTTPS://[fe80::2]/", parts);
  EXPECT_EQ(parts.host, "fe80::2");
  EXPECT_EQ(parts.port, "443");
}

TEST(SplitUrlTest, DefaultPortsHostsAndAtSigns) {
  TUrlParts parts;
  EXPECT_EQ(SplitUrl("ftp://files.example", parts), "/");
  EXPECT_EQ(parts.port, "21");
  EXPECT_EQ(parts.host, "files.example");
  EXPECT_EQ(parts.path, "/");
  SplitUrl("http://host:8080", parts);
  EXPECT_EQ(parts.host, "host");
  EXPECT_EQ(parts.port, "8080");
  SplitUrl("http://bob@host/p@q", parts);
  EXPECT_EQ(parts.user, "bob");
  EXPECT_EQ(parts.password, "");
  EXPECT_EQ(parts.host, "host");
  EXPECT_EQ(parts.path, "/p@q");
  SplitUrl("http://host/p@q", parts);
  EXPECT_EQ(parts.user, "");
  EXPECT_EQ(parts.host, "host");
  SplitUrl("http://[unclosed:1/x", parts);
  EXPECT_EQ(parts.host, "unclosed:1");
  EXPECT_EQ(parts.port, "80");
  SplitUrl("", parts);
  EXPECT_EQ(parts.host, "localhost");
  EXPECT_EQ(parts.path, "/");
}

TEST(SplitUrlTest, UrlInsideTheQueryOfARelativeUriKeepsThePath) {
  TUrlParts parts;
  EXPECT_EQ(SplitUrl("/download?file=http://x/y", parts), "/download?file=http://x/y");
  EXPECT_EQ(parts.protocol, "http");
  EXPECT_EQ(parts.host, "localhost");
  EXPECT_EQ(parts.path, "/download");
  EXPECT_EQ(parts.query, "file=http://x/y");
  // Before the "://" a "?" shows there is no protocol either.
  SplitUrl("find?u=ftp://x", parts);
  EXPECT_EQ(parts.protocol, "http");
}

TEST(UrlDecodeTest, EscapesAndWhatStays) {
  EXPECT_EQ(UrlDecode("a%20b+c"), "a b+c");
  EXPECT_EQ(UrlDecode("no escapes+here"), "no escapes+here");
  EXPECT_EQ(UrlDecode("%2fA%2F%7e"), "/A/~");
  EXPECT_EQ(UrlDecode("100%"), "100%");
  EXPECT_EQ(UrlDecode("x%4"), std::string("x\x04"));
  EXPECT_EQ(UrlDecode("%4g%zz%"), "%4g%zz%");
  // A decoded percent sign is not decoded again.
  EXPECT_EQ(UrlDecode("%2541"), "%41");
  EXPECT_EQ(UrlDecode("%%41"), "%A");
  EXPECT_EQ(UrlDecode("a%00b"), std::string("a\0b", 3));
}

TEST(UrlDecodeTest, Utf8EscapesBecomeSystemCodePageText) {
  {
    const TScopedCodePage codePage(kCodePageUtf8);
    EXPECT_EQ(UrlDecode("/%E4%B8%AD.txt"), "/" + kCjkUtf8 + ".txt");
    EXPECT_EQ(UrlDecode("%C3%A9"), "\xC3\xA9");
  }
  {
    const TScopedCodePage codePage(kCodePageWindows1252);
    EXPECT_EQ(UrlDecode("/%E4%B8%AD.txt"), "/@.txt");
    EXPECT_EQ(UrlDecode("caf%C3%A9"), "caf\xE9");
    // A lone high byte is no UTF-8 and stays that byte.
    EXPECT_EQ(UrlDecode("%E4"), "\xE4");
    EXPECT_EQ(UrlDecode("%C3%A9%FF"), "\xC3\xA9\xFF");
  }
}

TEST(IsUtf8TextTest, SequencesUpToThreeBytes) {
  EXPECT_FALSE(IsUtf8Text("plain ascii"));
  EXPECT_FALSE(IsUtf8Text(""));
  EXPECT_TRUE(IsUtf8Text("caf\xC3\xA9"));
  EXPECT_TRUE(IsUtf8Text(kCjkUtf8));
  EXPECT_FALSE(IsUtf8Text("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsUtf8Text("\xC3"));
  EXPECT_FALSE(IsUtf8Text("\xE4\xB8"));
  EXPECT_FALSE(IsUtf8Text("\x80"));
  EXPECT_FALSE(IsUtf8Text("\xC3\x41"));
  // The scan ends at a zero byte.
  EXPECT_TRUE(IsUtf8Text(std::string("\xC3\xA9\0\xFF", 4)));
  EXPECT_FALSE(IsUtf8Text(std::string("\0\xC3\xA9", 3)));
}

TEST(Utf8ToAnsiTest, TargetsTheSystemCodePage) {
  const TScopedCodePage codePage(kCodePageWindows1252);
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC 5"), "\x80 5");
  EXPECT_EQ(Utf8ToAnsi(kCjkUtf8 + "x"), "@x");
  EXPECT_EQ(Utf8ToAnsi(""), "");
}

}  // namespace
}  // namespace webtessl
