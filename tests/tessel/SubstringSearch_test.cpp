#include "tessel/SubstringSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(SubstringSearchTest, CountsABytePastEveryBlockAndSumBoundary) {
  std::mt19937 random(5);
  std::string text;
  // Long enough that the lane sums are taken several times (every 255 blocks of 16 bytes).
  for (int i = 0; i < 20000; ++i) text += random() % 3 == 0 ? '\0' : static_cast<char>(random());
  for (size_t from : {size_t{0}, size_t{1}, size_t{15}, size_t{4079}}) {
    for (size_t length : {size_t{0}, size_t{1}, size_t{16}, size_t{4080}, size_t{4081},
                          text.size() - from}) {
      const std::string_view part = std::string_view(text).substr(from, length);
      EXPECT_EQ(CountByte(part, '\0'), static_cast<size_t>(std::count(part.begin(), part.end(), '\0')))
          << from << " " << length;
    }
  }
  EXPECT_EQ(CountByte(std::string(5000, 'x'), 'x'), 5000u);  // every lane full many times over
}

}  // namespace
}  // namespace webtessl
