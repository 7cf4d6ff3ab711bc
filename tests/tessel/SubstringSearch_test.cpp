#include "tessel/SubstringSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace webtessl {
namespace {

TEST(SubstringSearchTest, AgreesWithPlainSearchEverywhere) {
  std::mt19937 random(3);
  std::string text;
  for (int i = 0; i < 5000; ++i) text += static_cast<char>('a' + random() % 4);
  text += std::string("\0xyz", 4);
  for (size_t length = 1; length <= 40; ++length) {
    for (int trial = 0; trial < 20; ++trial) {
      const size_t at = random() % (text.size() - length);
      const std::string needle = text.substr(at, length);
      for (size_t from : {size_t{0}, at, at + 1, text.size() - length}) {
        EXPECT_EQ(FindSubstring(text, needle, from), text.find(needle, from))
            << needle << " from " << from;
      }
    }
  }
  EXPECT_EQ(FindSubstring(text, "xyz", 0), text.size() - 3);  // in the last, partial block
  EXPECT_EQ(FindSubstring("ab", "abc", 0), std::string_view::npos);
  EXPECT_EQ(FindSubstring("ab", "b", 3), std::string_view::npos);
}

}  // namespace
}  // namespace webtessl
