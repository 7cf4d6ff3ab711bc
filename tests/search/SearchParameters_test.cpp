#include "search/SearchParameters.h"

#include <gtest/gtest.h>

#include <string>

#include "config/IniFile.h"
#include "http/HttpRequest.h"
#include "json/superobject.h"
#include "tests/support/TempFolder.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

TSearchParameters Read(const std::string& query, const TSearchSettings& settings = {}) {
  THttpRequest request;
  request.URI = "/find?" + query;
  request.ParseHeaders(true);
  return ReadSearchParameters(request, settings);
}

TSearchSettings WithDefaultPageSize(int32_t size) {
  TSearchSettings settings;
  settings.defaultPageSize = size;
  return settings;
}

TEST(SearchParametersTest, NoParametersGiveTheDefaults) {
  const TSearchParameters parameters = Read("");
  EXPECT_EQ(parameters.term, "");
  EXPECT_EQ(parameters.filter, "");
  EXPECT_EQ(parameters.pageStart, 0);
  EXPECT_EQ(parameters.pageSize, 25);
  EXPECT_FALSE(parameters.anyWord || parameters.wholeWords || parameters.caseSensitive ||
               parameters.includeDirs || parameters.includeFiles);
  EXPECT_EQ(parameters.timeoutMs, 1000);
  EXPECT_FALSE(parameters.json);
  EXPECT_EQ(parameters.sort, "");
  EXPECT_FALSE(parameters.ascending.has_value());
  EXPECT_EQ(parameters.within, "");
}

TEST(SearchParametersTest, SortKeysAndDirectionsOutsideTheirWordsCountAsAbsent) {
  for (const std::string key : {"name", "path", "size", "date"}) {
    EXPECT_EQ(Read("sort=" + key).sort, key);
  }
  for (const std::string key : {"Name", "size%20", "relevance", "date%00", ""}) {
    EXPECT_EQ(Read("sort=" + key).sort, "") << key;
  }
  EXPECT_EQ(Read("ascending=on").ascending, std::optional<bool>(true));
  EXPECT_EQ(Read("ascending=off").ascending, std::optional<bool>(false));
  EXPECT_FALSE(Read("ascending=OFF").ascending.has_value());
  EXPECT_FALSE(Read("ascending=1").ascending.has_value());
}

TEST(SearchParametersTest, NewMembersAreSentOnlyWhenAsked) {
  const TSearchSettings settings;
  const std::string plain = SearchQueryText(Read("term=x"), settings);
  for (const std::string member : {"Sort", "SortAscending", "WithinDir"}) {
    EXPECT_EQ(plain.find(member), std::string::npos) << member;
  }
  const ISuperObject query = ParseJsonText(FromSystemCodePage(SearchQueryText(
      Read("term=x&sort=size&ascending=off&path=%2Fdata%2FC%2B%2B+notes%2F%CE%B1"), settings)));
  ASSERT_TRUE(query);
  EXPECT_EQ(query->MemberText(u"Sort"), u"size");
  ASSERT_TRUE(query->Member(u"SortAscending"));
  EXPECT_FALSE(query->Member(u"SortAscending")->AsBoolean());
  EXPECT_EQ(query->MemberText(u"WithinDir"), u"/data/C++ notes/α");
  EXPECT_EQ(query->MemberText(u"QueryDir"), u"") << "the folder narrows, it is not a search folder";
}

TEST(SearchParametersTest, PageSizeFallsBackTo25BelowOneWhateverTheSetting) {
  EXPECT_EQ(Read("count=0", WithDefaultPageSize(40)).pageSize, 25);
  EXPECT_EQ(Read("count=-5", WithDefaultPageSize(40)).pageSize, 25);
  EXPECT_EQ(Read("count=abc", WithDefaultPageSize(0)).pageSize, 25);
  EXPECT_EQ(Read("count=abc", WithDefaultPageSize(40)).pageSize, 40);
  EXPECT_EQ(Read("count=", WithDefaultPageSize(40)).pageSize, 40);
  EXPECT_EQ(Read("COUNT=57").pageSize, 57);  // names regardless of case
  EXPECT_EQ(Read("count=$20").pageSize, 32);
  EXPECT_EQ(Read("count=99999999999", WithDefaultPageSize(30)).pageSize, 30);
  EXPECT_EQ(Read("count=0xFFFFFFFF").pageSize, 25);  // the pattern of -1
  EXPECT_EQ(Read("count=1000").pageSize, 1000);
  EXPECT_EQ(Read("count=1001").pageSize, 1000) << "pages are at most 1,000 results";
  EXPECT_EQ(Read("count=2147483647").pageSize, 1000);
  EXPECT_EQ(Read("", WithDefaultPageSize(5000)).pageSize, 1000) << "the default too";
}

TEST(SearchParametersTest, PageStartTakesAnyIntegerAndDefaultsToZero) {
  EXPECT_EQ(Read("from=-3").pageStart, -3);
  EXPECT_EQ(Read("from=0x10").pageStart, 16);
  EXPECT_EQ(Read("from=%2010").pageStart, 0);  // integers are not decoded
  EXPECT_EQ(Read("from=  7").pageStart, 7);
  EXPECT_EQ(Read("from=7x").pageStart, 0);
  EXPECT_EQ(Read("from=2147483648").pageStart, 0);
  EXPECT_EQ(Read("from=2147483647").pageStart, 2147483647);
  EXPECT_EQ(Read("from=1&from=2").pageStart, 1);  // the first item counts
}

TEST(SearchParametersTest, TimeoutKeepsItsLow16Bits) {
  EXPECT_EQ(Read("timeout=70000").timeoutMs, 4464);
  EXPECT_EQ(Read("timeout=-1").timeoutMs, 65535);
  EXPECT_EQ(Read("timeout=0").timeoutMs, 0);
  EXPECT_EQ(Read("timeout=$10000").timeoutMs, 0);
  EXPECT_EQ(Read("timeout=soon").timeoutMs, 1000);
}

TEST(SearchParametersTest, FlagsAreOnOnlyForTheExactRawWord) {
  for (const char* value : {"ON", "1", "true", "on%20", "%6Fn", ""}) {
    EXPECT_FALSE(Read(std::string("anyword=") + value).anyWord) << value;
  }
  const TSearchParameters parameters =
      Read("anyword=on&WholeWords=on&casesensitive=on&includedirs=on&includefiles=on");
  EXPECT_TRUE(parameters.anyWord && parameters.wholeWords && parameters.caseSensitive &&
              parameters.includeDirs && parameters.includeFiles);
  EXPECT_FALSE(Read("includedirs=on").includeFiles);
}

TEST(SearchParametersTest, FormatJsonIsCaseSensitive) {
  EXPECT_TRUE(Read("format=json").json);
  EXPECT_FALSE(Read("format=JSON").json);
  EXPECT_FALSE(Read("format=html").json);
}

TEST(SearchParametersTest, TermIsDecodedAsUtf8AndInvalidBytesEmptyIt) {
  EXPECT_EQ(Read("term=a+b").term, "a b");
  EXPECT_EQ(Read("term=a%2Bb").term, "a+b");
  EXPECT_EQ(Read("term=C%2B%2B").term, "C++");
  EXPECT_EQ(Read("term=caf%C3%A9").term, "caf\xC3\xA9");  // the system code page is UTF-8
  EXPECT_EQ(Read("term=caf%E9").term, "");
  EXPECT_EQ(Read("term=ab%4").term, "ab");  // a "%" near the end ends the decoding
  EXPECT_EQ(Read("filter=*.txt%3B*.doc").filter, "*.txt;*.doc");
  EXPECT_EQ(Read("filter=%E9").filter, "\xE9");  // the filter keeps its bytes
  const std::string longTerm(10000, 'x');
  EXPECT_EQ(Read("term=" + longTerm).term, longTerm);
}

TEST(SearchParametersTest, SettingsComeFromTheFileAndDefaultWithoutOne) {
  testing_support::TempFolder folder;
  const TIniFile iniFile(folder.Write(
      "config.ini",
      "[settings]\r\ndirs=/My Files /x\r\nexcludedirs=\"/a b\";/x\r\ndefaultpagesize=40\r\n"
      "enabledownload=0\r\n"));
  const TSearchSettings settings = LoadSearchSettings(&iniFile);
  // Unquoted, a folder with a blank is split; its relative half is dropped.
  EXPECT_EQ(settings.searchFolders, (std::vector<std::string>{"/My", "/x"}));
  EXPECT_EQ(settings.excludedFolders, (std::vector<std::string>{"/a b", "/x"}));
  EXPECT_EQ(settings.defaultPageSize, 40);
  EXPECT_FALSE(settings.downloadEnabled);

  const TIniFile missing(folder.File("none.ini"));
  for (const TIniFile* file : {&missing, static_cast<const TIniFile*>(nullptr)}) {
    const TSearchSettings defaults = LoadSearchSettings(file);
    EXPECT_TRUE(defaults.searchFolders.empty() && defaults.excludedFolders.empty());
    EXPECT_EQ(defaults.defaultPageSize, 25);
    EXPECT_TRUE(defaults.downloadEnabled);
  }
}

// The members come in the writer's order, every character but letters and digits escaped.
TEST(SearchParametersTest, QueryTextIsTheEscapedJsonObject) {
  TSearchSettings settings;
  settings.searchFolders = {"C:\\data", "D:\\docs"};
  settings.excludedFolders = {"/tmp"};
  const std::string text = SearchQueryText(
      Read("term=caf%C3%A9+%22x%22&filter=*.txt&from=20&count=57&anyword=on"), settings);
  EXPECT_EQ(text,
            "{\"cmd\":69633,\"SpaceOr\":true,\"QueryFrom\":20,\"QueryCount\":57,"
            "\"ExcludeDir\":\"\\/tmp\",\"CaseSensitive\":false,\"IncludeFiles\":false,"
            "\"QueryStr\":\"caf\\u00e9\\u0020\\\"x\\\"\",\"QueryDir\":"
            "\"C\\u003a\\\\data\\u003bD\\u003a\\\\docs\",\"IncludeDir\":false,"
            "\"QueryFilter\":\"\\u002a\\u002etxt\",\"WholeWords\":false}");
  const ISuperObject parsed = ParseJsonText(FromSystemCodePage(text));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->MemberText(u"QueryDir"), u"C:\\data;D:\\docs");
  EXPECT_EQ(parsed->MemberText(u"QueryStr"), u"caf\u00e9 \"x\"");
}

}  // namespace
}  // namespace webtessl
