#include "search/ResultRendering.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace webtessl {
namespace {

TEST(EncodeUrlCharsTest, EscapesExactlyTheUnsafeBytes) {
  const std::string kept =
      "!$'()*,-./0123456789:;=?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::string expected;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    if (kept.find(c) != std::string::npos) {
      expected += c;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", byte);
      expected += escape;
    }
  }
  EXPECT_EQ(EncodeUrlChars(all), expected);
  EXPECT_EQ(EncodeUrlChars("C:\\dir\\a b.txt"), "C:%5Cdir%5Ca%20b.txt");
  // A link cut at '#' or '&' would name another file: both are escaped.
  EXPECT_EQ(EncodeUrlChars("/d/Tom & Jerry #1.txt"), "/d/Tom%20%26%20Jerry%20%231.txt");
  // A '+' left as it is would come back as a blank.
  EXPECT_EQ(EncodeUrlChars("/d/C++ primer.pdf"), "/d/C%2B%2B%20primer.pdf");
}

TEST(EscapeHtmlTest, WritesTheFiveMarkupCharactersAsReferences) {
  EXPECT_EQ(EscapeHtml(u"<a href=\"x\">Tom & Jerry's</a>"),
            u"&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml(u"plain \u00e9"), u"plain \u00e9");
}

TEST(RenderHtmlTest, PositionsDoNotOverflowAtTheEndOfTheRange) {
  const ISuperObject answer = ParseJsonText(u"{\"results\":[{}],\"count\":[1,2]}");
  const std::string html = RenderHtml(*answer, 2147483647, false);
  EXPECT_EQ(html.substr(0, html.find("<table")),
            "<div id=\"summary\">Total Results: <span>[1,2]</span>, showing <span>2147483648"
            "</span>  to <span>2147483648</span></div>");
  EXPECT_EQ(answer->ToJsonText(false, false), u"{\"results\":[{}],\"count\":[1,2]}");
}

TEST(RenderHtmlTest, OnlyRenderingWithDownloadsSetsTheLink) {
  const ISuperObject answer =
      ParseJsonText(u"{\"results\":[{\"dir\":\"/d/\",\"file\":\"\u00e9 x\"}]}");
  RenderHtml(*answer, 0, false);
  EXPECT_FALSE(answer->MemberArray(u"results")->ElementAt(0)->Member(u"filelink"));
  const std::string html = RenderHtml(*answer, 0, true);
  EXPECT_EQ(answer->MemberArray(u"results")->ElementAt(0)->MemberText(u"filelink"),
            u"/download?file=/d/%C3%A9%20x");
  EXPECT_NE(html.find("<a href=\"/download?file=/d/%C3%A9%20x\" target=\"_blank\">\xC3\xA9 x</a>"),
            std::string::npos);
}

}  // namespace
}  // namespace webtessl
