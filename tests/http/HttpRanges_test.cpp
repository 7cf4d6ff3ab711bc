#include "http/HttpRanges.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace webtessl {
namespace {

struct TRangeCase {
  const char* text;
  bool hasSize;
  int64_t size;
  bool accepted;
  int64_t first;
  int64_t count;
};

TEST(HttpRangesTest, ParseRangeForms) {
  const TRangeCase cases[] = {
      {"bytes=0-99", true, 200, true, 0, 100},
      {"bytes=-500", true, 200, true, 0, 200},
      {"bytes=-50", true, 200, true, 150, 50},
      {"bytes=150-999", true, 200, true, 150, 50},
      {"bytes=300-", true, 200, true, 300, -100},
      {"BYTES = 10-19", true, 200, true, 10, 10},
      {"bytes=10-19", false, 0, true, 10, 10},
      {"bytes=4294967396-4294967495", true, 5368709120, true, 4294967396, 100},
      {"bytes=0-1,5-9", true, 200, false, 0, 0},
      {"items=0-9", true, 200, false, 0, 0},
      {"bytes=10", true, 200, false, 0, 0},
      {"bytes=-5", false, 0, false, 0, 0},
      {"bytes=5-", false, 0, false, 0, 0},
      {"bytes=a-9", true, 200, false, 0, 0},
      {"bytes=-", true, 200, false, 0, 0},
  };
  for (const TRangeCase& c : cases) {
    THttpByteRange range;
    ASSERT_EQ(ParseRange(c.text, c.hasSize, c.size, range), c.accepted) << c.text;
    if (!c.accepted) continue;
    EXPECT_EQ(range.First, c.first) << c.text;
    EXPECT_EQ(range.Count, c.count) << c.text;
  }
}

TEST(HttpRangesTest, StreamArithmeticKeepsAndMovesThePosition) {
  std::istringstream stream(std::string(1000, 'x'));
  stream.seekg(100);
  EXPECT_EQ(StreamRemaining(stream), 900);
  EXPECT_EQ(stream.tellg(), 100);
  StreamSkip(stream, 250);
  EXPECT_EQ(stream.tellg(), 350);
  EXPECT_EQ(StreamRemaining(stream), 650);
}

TEST(HttpRangesTest, CookiePathIsTheUriFolder) {
  EXPECT_EQ(CookiePathFromUri("/shop/cart/page.html?id=1"), "/shop/cart");
  EXPECT_EQ(CookiePathFromUri("/index.html?a=/b/c"), "/");
  EXPECT_EQ(CookiePathFromUri("/"), "/");
  EXPECT_EQ(CookiePathFromUri("page"), "/");
  EXPECT_EQ(CookiePathFromUri("http://host:80/a/b/c.htm"), "/a/b");
  EXPECT_EQ(CookiePathFromUri("http://host"), "/");
}

}  // namespace
}  // namespace webtessl
