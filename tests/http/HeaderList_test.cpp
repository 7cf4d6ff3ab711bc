#include "http/HeaderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace webtessl {
namespace {

THeaderList ListOf(const std::vector<std::string>& lines) {
  THeaderList list;
  for (const std::string& line : lines) list.Add(line);
  return list;
}

TEST(HeaderListAddTest, NormalisesAndFolds) {
  THeaderList list;
  EXPECT_EQ(list.Add("Host:example.org"), 0);
  EXPECT_EQ(list.Add("X-Long: first"), 1);
  EXPECT_EQ(list.Add("  second  "), 1);
  EXPECT_EQ(list.Add("\tthird"), 1);
  EXPECT_EQ(list.Add(""), -1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "Host: example.org");
  EXPECT_EQ(list[1], "X-Long: first\r\n  second\r\n\tthird");
  EXPECT_EQ(list.GetValue("x-long"), "first\r\n  second\r\n\tthird");
  EXPECT_EQ(list.Text(), "Host: example.org\r\nX-Long: first\r\n  second\r\n\tthird\r\n");
}

TEST(HeaderListAddTest, ContinuationOfAnEmptyListAndBlankLines) {
  THeaderList list;
  EXPECT_EQ(list.Add("  Lonely: value "), 0);
  EXPECT_EQ(list[0], "Lonely: value");
  // A continuation made of white space only adds nothing to the entry.
  EXPECT_EQ(list.Add(" \t "), 0);
  EXPECT_EQ(list[0], "Lonely: value");
  // White space alone never becomes an entry of its own (it would end a head early).
  THeaderList empty;
  EXPECT_EQ(empty.Add("   "), -1);
  EXPECT_EQ(empty.Count(), 0);
}

TEST(HeaderListAddTest, PutAndInsertRenormalise) {
  THeaderList list = ListOf({"A: 1", "C: 3"});
  list.Insert(1, "B :2");
  list.Put(0, "  A:   one  ");
  list.Put(2, "");
  EXPECT_EQ(list.Text(), "A: one\r\nB: 2\r\nC: 3\r\n");
  EXPECT_THROW(list.Put(3, "D: 4"), EStringListError);
  EXPECT_THROW(list.Insert(4, "D: 4"), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_THROW(static_cast<void>(list[3]), EStringListError);
}

TEST(HeaderListLookupTest, NamesMatchWholeAndCaseInsensitively) {
  const THeaderList list = ListOf({"Content-Length-Extra: 9", "content-length: 42", "Content: x"});
  EXPECT_EQ(list.IndexOfHeader("Content-Length"), 1);
  EXPECT_EQ(list.GetValue("CONTENT-LENGTH"), "42");
  EXPECT_EQ(list.GetValue("Content"), "x");
  EXPECT_EQ(list.GetValue("Content-Len"), "");
  EXPECT_EQ(list.IndexOfHeader(""), -1);
  EXPECT_EQ(list.GetValue("Missing"), "");
}

TEST(HeaderListLookupTest, ValueAtTrimsAndHandlesColonlessEntries) {
  THeaderList list = ListOf({"A: spaced", "plain words", "Empty:"});
  EXPECT_EQ(list.ValueAt(0), "spaced");
  EXPECT_EQ(list.ValueAt(1), "plain words");
  EXPECT_EQ(list.ValueAt(2), "");
}

TEST(HeaderListSetValueTest, OverwritesFirstOfDuplicatesOrAppends) {
  THeaderList list = ListOf({"Connection: keep-alive", "Host: h", "Connection: upgrade"});
  list.SetValue("connection", " close ");
  EXPECT_EQ(list.Text(), "connection: close\r\nHost: h\r\nConnection: upgrade\r\n");
  list.SetValue("Server", "WebTessl");
  EXPECT_EQ(list[3], "Server: WebTessl");
  list.SetValue("", "ignored");
  EXPECT_EQ(list.Count(), 4);
}

TEST(HeaderListSetValueTest, EmptyValueRemovesEveryEntry) {
  THeaderList list = ListOf({"Connection: a", "Host: h", "CONNECTION: b"});
  list.SetValue("Connection", "");
  EXPECT_EQ(list.Text(), "Host: h\r\n");
  EXPECT_FALSE(list.RemoveHeader("Connection"));
  EXPECT_TRUE(list.RemoveHeader("host"));
  EXPECT_EQ(list.Count(), 0);
}

TEST(HeaderListSetValueTest, AddHeaderAlwaysAppends) {
  THeaderList list;
  list.AddHeader("Set-Cookie", "a=1");
  list.AddHeader("Set-Cookie", "b=2");
  list.AddHeader("Set-Cookie", "");
  list.AddHeader("", "c=3");
  list.AddHeader("Content-length", "12");
  EXPECT_EQ(list.Text(), "Set-Cookie: a=1\r\nSet-Cookie: b=2\r\nContent-length: 12\r\n");
}

TEST(HeaderListValuesTest, HasValueMatchesAnyTokenOfAnyEntry) {
  const THeaderList list = ListOf(
      {"Connection: keep-alive, Close", "Accept: \"a,close\", x=1", "Accept: y; q=1, z = 2"});
  EXPECT_TRUE(list.HasValue("connection", "close"));
  EXPECT_TRUE(list.HasValue("Connection", "KEEP-ALIVE"));
  EXPECT_FALSE(list.HasValue("Connection", "keep"));
  EXPECT_FALSE(list.HasValue("Accept", "close"));
  EXPECT_TRUE(list.HasValue("Accept", "x"));
  EXPECT_TRUE(list.HasValue("Accept", "z"));
  EXPECT_TRUE(list.HasValue("Accept", "y; q"));
  EXPECT_FALSE(list.HasValue("Missing", ""));
}

TEST(HeaderListValuesTest, EnumValuesWalksEntriesInOrderAndStops) {
  const THeaderList list = ListOf({"X: a, ,b", "Y: skip", "x: \"c,d\""});
  std::vector<std::string> seen;
  list.EnumValues("X", [&seen](const std::string& item) {
    seen.push_back(item);
    return false;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "\"c,d\""}));
  seen.clear();
  list.EnumValues("X", [&seen](const std::string& item) {
    seen.push_back(item);
    return item == "b";
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
}

TEST(HeaderListParamTest, GetParamReadsQuotedAndBareParameters) {
  const THeaderList list = ListOf({"Content-Type: multipart/form-data; boundary=\"--a b\"",
                                   "Content-Disposition: form-data; name=f; filename=\"x.txt\""});
  EXPECT_EQ(list.GetParam("content-type", "boundary"), "--a b");
  EXPECT_EQ(list.GetParam("Content-Disposition", "filename"), "x.txt");
  EXPECT_EQ(list.GetParam("Content-Disposition", "form-data"), "");
  EXPECT_EQ(list.GetParam("Missing", "boundary"), "");
}

TEST(HeaderListParamTest, SetParamReplacesOrAppendsAndQuotes) {
  THeaderList list = ListOf({"Content-Type: multipart/mixed; Boundary=old; charset=x"});
  list.SetParam("Content-Type", "boundary", "new\"one");
  EXPECT_EQ(list[0], R"(Content-Type: multipart/mixed; boundary="new\"one"; charset=x)");
  list.SetParam("Content-Type", "name", "n");
  EXPECT_EQ(list[0], R"(Content-Type: multipart/mixed; boundary="new\"one"; charset=x; name="n")");
  EXPECT_EQ(list.GetParam("Content-Type", "boundary"), "new\"one");
  // A parameter whose name only begins with the wanted name is not replaced.
  THeaderList prefixed = ListOf({"X: ab=1"});
  prefixed.SetParam("X", "a", "2");
  EXPECT_EQ(prefixed[0], R"(X: ab=1; a="2")");
}

TEST(HeaderListParamTest, SetParamOnAbsentHeaderAppendsIt) {
  THeaderList list = ListOf({"Host: h"});
  list.SetParam(" Content-Disposition ", "filename", "a b");
  EXPECT_EQ(list[1], R"(Content-Disposition: filename="a b")");
  list.SetParam("", "filename", "x");
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
}  // namespace webtessl
