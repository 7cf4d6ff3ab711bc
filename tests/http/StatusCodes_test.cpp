#include "http/StatusCodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace webtessl {
namespace {

TEST(StatusTextTest, KnownCodesGiveTheirPhraseOthersLeaveTheText) {
  std::string text;
  EXPECT_TRUE(StatusText(416, text));
  EXPECT_EQ(text, "Requested Range Not Satisfiable");
  EXPECT_TRUE(StatusText(404, text));
  EXPECT_EQ(text, "Not Found");
  EXPECT_FALSE(StatusText(418, text));
  EXPECT_FALSE(StatusText(0, text));
  EXPECT_EQ(text, "Not Found");
}

// A code listed twice would hide its second phrase.
TEST(StatusTextTest, EveryCodeIsListedOnce) {
  std::set<int32_t> codes;
  for (const THttpStatusMsg& row : HttpStatusMessages)
    EXPECT_TRUE(codes.insert(row.code).second) << row.code;
}

}  // namespace
}  // namespace webtessl
