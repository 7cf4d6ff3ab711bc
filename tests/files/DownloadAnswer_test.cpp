#include "files/DownloadAnswer.h"

#include <gtest/gtest.h>

#include <string>

#include "http/HttpRequest.h"

namespace webtessl {
namespace {

TEST(DownloadTypeTest, ByExtensionWithoutCaseAndOnlyTheLastDot) {
  EXPECT_EQ(DownloadTypeOf("Photo.JPEG").mediaType, "image/jpeg");
  EXPECT_TRUE(DownloadTypeOf("Photo.JPEG").showable);
  EXPECT_EQ(DownloadTypeOf("archive.pdf.html").mediaType, "text/html");
  EXPECT_FALSE(DownloadTypeOf("archive.pdf.html").showable);
  EXPECT_EQ(DownloadTypeOf("image.svg").mediaType, "image/svg+xml");
  EXPECT_FALSE(DownloadTypeOf("image.svg").showable) << "SVG can hold script";
  for (const char* name : {"README", "trailing.", ".png.", "x.exe"}) {
    EXPECT_EQ(DownloadTypeOf(name).mediaType, "application/octet-stream") << name;
    EXPECT_FALSE(DownloadTypeOf(name).showable) << name;
  }
}

TEST(ContentDispositionTest, QuotesEscapesAndAddsTheEncodedFormOnlyWhenNeeded) {
  EXPECT_EQ(ContentDisposition("a;b c.txt", false), "attachment; filename=\"a;b c.txt\"");
  EXPECT_EQ(ContentDisposition("a;b c.txt", true), "inline; filename=\"a;b c.txt\"");
  EXPECT_EQ(ContentDisposition("back\\slash", false),
            "attachment; filename=\"back\\\\slash\"; filename*=UTF-8''back%5Cslash");
  EXPECT_EQ(ContentDisposition("line\r\nX: 1\x7F", false), "attachment; filename=\"line__X: 1_\"");
  EXPECT_EQ(ContentDisposition("\xE6\x97\xA5 100%.txt", false),
            "attachment; filename=\"\xE6\x97\xA5 100%.txt\"; "
            "filename*=UTF-8''%E6%97%A5%20100%25.txt");
}

TEST(SetDownloadHeadersTest, InlineOnlyWhenAskedAndShowable) {
  THttpRequest shown;
  SetDownloadHeaders(shown, "clip.mp4", true);
  EXPECT_EQ(shown.GetHeader(THttpRequest::kContentType), "video/mp4");
  EXPECT_EQ(shown.Headers.GetValue("Content-disposition"), "inline; filename=\"clip.mp4\"");
  EXPECT_EQ(shown.Headers.GetValue("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(shown.Headers.GetValue("Content-Security-Policy"), "sandbox");
  THttpRequest saved;
  SetDownloadHeaders(saved, "clip.mp4", false);
  EXPECT_EQ(saved.Headers.GetValue("Content-disposition"), "attachment; filename=\"clip.mp4\"");
  EXPECT_EQ(saved.Headers.GetValue("Content-Security-Policy"), "sandbox");
}

}  // namespace
}  // namespace webtessl
