#include "search/ResultCompletion.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/TimeZone.h"
#include "tests/search/UtcZone.h"
#include "tests/support/TempFolder.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

using testing_search::TUtcZone;

void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

ISuperObject ResultFor(const std::string& path) {
  ISuperObject result = TSuperObject::NewObject();
  result->SetMemberText(u"FileName", FromSystemCodePage(path));
  result->SetMemberText(u"rank", u"7");
  return result;
}

TEST(ResultSizeTextTest, UnitsAndTwoDecimalsRoundedHalfAwayFromZero) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 KB"},
      {5, "0 KB"},
      {128, "0.13 KB"},
      {512, "0.5 KB"},
      {1536, "1.5 KB"},
      {1048575, "1024 KB"},
      {1048576, "1 MB"},
      {5000000, "4.77 MB"},
      {1073741823, "1024 MB"},
      {1073741824, "1 GB"},
      {INT64_MAX, "8589934592 GB"},
  };
  for (const auto& [size, text] : cases) EXPECT_EQ(ResultSizeText(size, '.'), text) << size;
  EXPECT_EQ(ResultSizeText(1536, ','), "1,5 KB");
  EXPECT_EQ(ResultSizeText(5000000, ','), "4,77 MB");
}

TEST(ToUnixSecondsTest, CountsFrom1970AndRoundsToTheNearestSecond) {
  EXPECT_EQ(ToUnixSeconds(kUnixEpochDateTime), 0);
  EXPECT_EQ(ToUnixSeconds(kUnixEpochDateTime + 1.0), 86400);
  EXPECT_EQ(ToUnixSeconds(EncodeDate(2009, 3, 7) + EncodeTime(14, 5, 9, 0)), 1236434709);
  EXPECT_EQ(ToUnixSeconds(kUnixEpochDateTime + 0.4 / 86400), 0);
  EXPECT_EQ(ToUnixSeconds(kUnixEpochDateTime + 1.6 / 86400), 2);
  EXPECT_EQ(ToUnixSeconds(kUnixEpochDateTime - 1.6 / 86400), -2);
  EXPECT_EQ(ToUnixSeconds(EncodeDate(1969, 12, 31)), -86400);
}

TEST(CompleteResultTest, FileFactsReplaceTheFileName) {
  const TUtcZone utc;
  testing_support::TempFolder folder;
  const std::string path = folder.Write("a b.txt", std::string(1536, 'x'));
  SetModified(path, 1236434709, 600000000);  // 2009-03-07 14:05:09.6
  const ISuperObject result = ResultFor(path);
  CompleteResult(*result);
  EXPECT_FALSE(result->Member(u"FileName"));
  EXPECT_EQ(result->MemberText(u"file"), u"a b.txt");
  EXPECT_EQ(result->MemberText(u"dir"), FromSystemCodePage(folder.Path().string() + "/"));
  EXPECT_EQ(result->Member(u"size")->AsInteger(), 1536);
  EXPECT_EQ(result->MemberText(u"sizestr"), u"1.5 KB");
  EXPECT_EQ(result->MemberText(u"timestr"), u"2009-03-07 14:05:09");
  EXPECT_EQ(result->Member(u"time")->AsInteger(), 1236434710);  // the milliseconds count
  EXPECT_EQ(result->MemberText(u"rank"), u"7");
}

// The completion makes room for its members beside those the application sent, which stay.
TEST(CompleteResultTest, ManyOtherMembersStayAndAPresentMemberIsReplaced) {
  const TUtcZone utc;
  testing_support::TempFolder folder;
  const std::string path = folder.Write("many.txt", "12345");
  const ISuperObject result = ResultFor(path);
  for (int i = 0; i < 30; ++i) {
    result->SetMemberInt(FromSystemCodePage("member " + std::to_string(i)), i);
  }
  result->SetMemberText(u"time", u"not yet");
  CompleteResult(*result);
  EXPECT_EQ(result->AsObject()->Count(), 1u + 30u + 6u);  // rank, the 30, the six completed
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(result->Member(FromSystemCodePage("member " + std::to_string(i)))->AsInteger(), i);
  }
  EXPECT_EQ(result->Member(u"time")->Kind(), TSuperType::Integer);
  EXPECT_EQ(result->MemberText(u"file"), u"many.txt");
  EXPECT_EQ(result->Member(u"size")->AsInteger(), 5);
  EXPECT_FALSE(result->Member(u"FileName"));
}

TEST(CompleteResultTest, MissingFileKeepsItsNameWithoutFacts) {
  const ISuperObject result = ResultFor("/no/such/dir/gone.txt");
  CompleteResult(*result);
  EXPECT_EQ(result->MemberText(u"file"), u"gone.txt");
  EXPECT_EQ(result->MemberText(u"dir"), u"/no/such/dir/");
  EXPECT_EQ(result->Member(u"size")->AsInteger(), 0);
  EXPECT_EQ(result->MemberText(u"sizestr"), u"0 KB");
  EXPECT_EQ(result->MemberText(u"timestr"), u"");
  EXPECT_EQ(result->Member(u"time")->AsInteger(), 0);
  EXPECT_FALSE(result->Member(u"folder"));

  const ISuperObject bare = TSuperObject::NewObject();  // no FileName at all
  CompleteResult(*bare);
  EXPECT_EQ(bare->MemberText(u"file"), u"");
  EXPECT_EQ(bare->MemberText(u"dir"), u"");
}

TEST(CompleteResultTest, FolderAndHugeFileAndEarlyTime) {
  const TUtcZone utc;
  testing_support::TempFolder folder;
  const std::string big = folder.Write("big", "");
  std::filesystem::resize_file(big, 1073741824);  // sparse: no disk space taken
  SetModified(big, 1, 0);
  const ISuperObject bigResult = ResultFor(big);
  CompleteResult(*bigResult);
  EXPECT_EQ(bigResult->MemberText(u"sizestr"), u"1 GB");
  EXPECT_EQ(bigResult->MemberText(u"timestr"), u"1970-01-01 00:00:01");
  EXPECT_EQ(bigResult->Member(u"time")->AsInteger(), 1);

  const ISuperObject folderResult = ResultFor(folder.Path().string());
  CompleteResult(*folderResult);
  EXPECT_EQ(folderResult->Member(u"size")->AsInteger(), 0);
  EXPECT_NE(folderResult->MemberText(u"timestr"), u"");
  ASSERT_TRUE(folderResult->Member(u"folder"));
  EXPECT_TRUE(folderResult->Member(u"folder")->AsBoolean());
  EXPECT_FALSE(bigResult->Member(u"folder")) << "files carry no kind";
}

TEST(CompleteResultTest, LocalTimeFollowsTheZone) {
  testing_support::TempFolder folder;
  const std::string path = folder.Write("f", "");
  SetModified(path, 1236434709, 0);
  const TUtcZone restoredAfterwards;
  ::setenv("TZ", "UTC-2", 1);  // two hours east of UTC
  const auto facts = FileFacts(path);
  ASSERT_TRUE(facts);
  const auto lastWrite = LastWriteText(*facts, UtcBiasMinutes());
  ASSERT_TRUE(lastWrite);
  EXPECT_EQ(lastWrite->text, "2009-03-07 16:05:09");
  EXPECT_EQ(lastWrite->parts.hour, 16);
  // Completing a whole answer reads the zone once and uses it for every result.
  const ISuperObject answer =
      ParseJsonText(u"{\"results\":[{\"FileName\":\"" + FromSystemCodePage(path) + u"\"}]}");
  CompleteResults(*answer->MemberArray(u"results"));
  EXPECT_EQ(answer->MemberArray(u"results")->ElementAt(0)->MemberText(u"timestr"),
            u"2009-03-07 16:05:09");
}

// Every field keeps its width, at both ends of the years a date can have; beyond them, no text.
TEST(LastWriteTextTest, FieldsArePaddedAcrossTheWholeRangeOfYears) {
  const auto textAt = [](int64_t seconds, int32_t biasMinutes) {
    TFileFacts facts;
    facts.modified.seconds = seconds;
    const auto lastWrite = LastWriteText(facts, biasMinutes);
    return lastWrite ? lastWrite->text : std::string("none");
  };
  EXPECT_EQ(textAt(-62135596800, 0), "0001-01-01 00:00:00");
  EXPECT_EQ(textAt(-59042897755, 0), "0099-01-02 03:04:05");
  EXPECT_EQ(textAt(253402300799, 0), "9999-12-31 23:59:59");
  EXPECT_EQ(textAt(253402300799, -1), "none");  // a minute later is the year 10000
  EXPECT_EQ(textAt(-62135596800, 1), "none");   // a minute earlier is before the year 1
  EXPECT_EQ(textAt(1236434709, -600), "2009-03-08 00:05:09");
}

TEST(CompleteResultsTest, EveryObjectIsCompletedAndOtherElementsAreLeftAlone) {
  const ISuperObject answer = ParseJsonText(
      u"{\"results\":[{\"FileName\":\"/x/a\"},null,5,\"text\",{\"FileName\":3}],\"count\":2}");
  const auto results = answer->MemberArray(u"results");
  ASSERT_TRUE(results);
  CompleteResults(*results);
  EXPECT_EQ(results->ElementAt(0)->MemberText(u"file"), u"a");
  EXPECT_EQ(results->ElementAt(4)->MemberText(u"file"), u"3");
  EXPECT_EQ(answer->ToJsonText(false, false),
            u"{\"results\":[{\"dir\":\"/x/\",\"timestr\":\"\",\"sizestr\":\"0 KB\",\"time\":0,"
            u"\"size\":0,\"file\":\"a\"},null,5,\"text\",{\"dir\":\"\",\"timestr\":\"\","
            u"\"sizestr\":\"0 KB\",\"time\":0,\"size\":0,\"file\":\"3\"}],\"count\":2}");
}

}  // namespace
}  // namespace webtessl
