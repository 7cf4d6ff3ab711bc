#include "http/StatusCodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace webtessl {
namespace {

TEST(StatusTextTest, KnownCodesGiveTheirPhrase) {
  std::string text;
  EXPECT_TRUE(StatusText(404, text));
  EXPECT_EQ(text, "Not Found");
  EXPECT_TRUE(StatusText(416, text));
  EXPECT_EQ(text, "Requested Range Not Satisfiable");
  EXPECT_TRUE(StatusText(200, text));
  EXPECT_EQ(text, "OK");
}

TEST(StatusTextTest, UnknownCodeLeavesTheTextAlone) {
  std::string text = "Not Found";
  EXPECT_FALSE(StatusText(418, text));
  EXPECT_FALSE(StatusText(0, text));
  EXPECT_FALSE(StatusText(-404, text));
  EXPECT_EQ(text, "Not Found");
}

TEST(StatusTextTest, EveryCodeIsListedOnceWithAPhrase) {
  std::set<int32_t> codes;
  for (const THttpStatusMsg& row : HttpStatusMessages) {
    EXPECT_TRUE(codes.insert(row.code).second) << row.code;
    EXPECT_FALSE(row.text.empty()) << row.code;
    EXPECT_GE(row.code, 100);
    EXPECT_LE(row.code, 505);
  }
  EXPECT_EQ(HttpStatusMessages.front().code, 200);
  EXPECT_EQ(HttpStatusMessages.back().code, 505);
}

}  // namespace
}  // namespace webtessl
