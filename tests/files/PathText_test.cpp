#include "files/PathText.h"

#include <gtest/gtest.h>

#include <string>

namespace webtessl {
namespace {

TEST(PathTextTest, ConvertsAndTrimsSeparators) {
  EXPECT_EQ(ConvertSeparators("a\\b/c\\", '/'), "a/b/c/");
  EXPECT_EQ(ConvertSeparators("a\\b/c", '\\'), "a\\b\\c");
  EXPECT_EQ(StripTrailingSeparators("/a/b/\\/"), "/a/b");
  EXPECT_EQ(StripTrailingSeparators("/"), "");
  EXPECT_EQ(EnsureTrailingSeparator("/a"), "/a/");
  EXPECT_EQ(EnsureTrailingSeparator("/a/"), "/a/");
  EXPECT_EQ(EnsureTrailingSeparator(""), "");
}

TEST(PathTextTest, NormalizesDotSegmentsWithoutClimbing) {
  const std::pair<const char*, const char*> kept[] = {{"a/b.txt", "a/b.txt"},
                                                      {"a//b.txt", "a/b.txt"},
                                                      {"a/./b.txt", "a/b.txt"},
                                                      {"a/../b.txt", "b.txt"},
                                                      {"a/b/../../c/", "c/"},
                                                      {"a/..", ""},
                                                      {"a/../", ""},
                                                      {".", ""},
                                                      {"a/.../b", "a/.../b"},
                                                      {"..a/b..", "..a/b.."},
                                                      {"a/b/c/../../d", "a/d"},
                                                      {"", ""}};
  for (const auto& [input, output] : kept) {
    std::string path = input;
    EXPECT_TRUE(NormalizeRelativePath(path)) << input;
    EXPECT_EQ(path, output) << input;
  }
  for (const char* climbing : {"..", "../a", "a/../..", "a/../../b", "./..", "a/b/../../../c"}) {
    std::string path = climbing;
    EXPECT_FALSE(NormalizeRelativePath(path)) << climbing;
    EXPECT_EQ(path, climbing);
  }
}

TEST(PathTextTest, FindsFileNamesAndHiddenSegments) {
  EXPECT_EQ(ExtractFileName("/a/b c.txt"), "b c.txt");
  EXPECT_EQ(ExtractFileName("name"), "name");
  EXPECT_EQ(ExtractFileName("/a/"), "");
  EXPECT_TRUE(HasHiddenSegment("/home/u/.ssh/id"));
  EXPECT_TRUE(HasHiddenSegment("/home/u/.profile"));
  EXPECT_TRUE(HasHiddenSegment(".git"));
  EXPECT_FALSE(HasHiddenSegment("/home/u/./docs/../a.txt"));
  EXPECT_FALSE(HasHiddenSegment("/home/u/a.b/c."));
}

}  // namespace
}  // namespace webtessl
