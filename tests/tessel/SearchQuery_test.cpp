#include "tessel/SearchQuery.h"

#include <gtest/gtest.h>

#include <string>

namespace webtessl {
namespace {

TSearchQuery Parsed(const std::string& members) {
  const TParsedMessage message = ParseMessage(R"({"cmd":69633,"QueryStr":"x")" + members + "}");
  EXPECT_EQ(message.kind, TParsedMessage::TKind::Search) << members;
  return message.query;
}

TEST(SearchQueryTest, SortKeysAndTheirDefaultDirections) {
  const TSearchQuery plain = Parsed("");
  EXPECT_EQ(plain.sort, TSortKey::Path);
  EXPECT_TRUE(plain.ascending);
  EXPECT_EQ(Parsed(R"(,"Sort":"name")").sort, TSortKey::Name);
  EXPECT_TRUE(Parsed(R"(,"Sort":"name")").ascending);
  EXPECT_EQ(Parsed(R"(,"Sort":"size")").sort, TSortKey::Size);
  EXPECT_FALSE(Parsed(R"(,"Sort":"size")").ascending);  // largest first
  EXPECT_EQ(Parsed(R"(,"Sort":"date")").sort, TSortKey::Date);
  EXPECT_FALSE(Parsed(R"(,"Sort":"date")").ascending);  // newest first
  EXPECT_EQ(Parsed(R"(,"Sort":"path","SortAscending":false)").sort, TSortKey::Path);
  EXPECT_FALSE(Parsed(R"(,"Sort":"path","SortAscending":false)").ascending);
  EXPECT_TRUE(Parsed(R"(,"Sort":"size","SortAscending":true)").ascending);
  EXPECT_TRUE(Parsed(R"(,"Sort":"date","SortAscending":"true")").ascending);
  EXPECT_FALSE(Parsed(R"(,"Sort":"name","SortAscending":"false")").ascending);
  EXPECT_TRUE(Parsed(R"(,"Sort":"date","SortAscending":1)").ascending);
}

TEST(SearchQueryTest, UnknownSortKeysMeanPathOrder) {
  for (const char* members : {R"(,"Sort":"SIZE")", R"(,"Sort":"")", R"(,"Sort":42)",
                              R"(,"Sort":null)", R"(,"Sort":["size"])"}) {
    const TSearchQuery query = Parsed(members);
    EXPECT_EQ(query.sort, TSortKey::Path) << members;
    EXPECT_TRUE(query.ascending) << members;
  }
}

}  // namespace
}  // namespace webtessl
