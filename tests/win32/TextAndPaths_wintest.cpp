// The Win32 backend's code page, path, profile and time-zone functions, against the real system.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/PrivateProfile.h"
#include "platform/TimeZone.h"

namespace webtessl {
namespace {

TEST(Win32CodePageTest, Windows1252LacksAreQuestionMarksNotLookAlikes) {
  // U+0141 (L with stroke) and U+FF0F (fullwidth solidus) would become "L" and "/" by best fit.
  EXPECT_EQ(WideToMultiByte(kCodePageWindows1252, u"a\u0141\uFF0Fb\u20AC", '?'), "a??b\x80");
  EXPECT_EQ(MultiByteToWide(kCodePageWindows1252, "\x80\xE9"), u"\u20AC\u00E9");
  EXPECT_EQ(CodePageMaxCharSize(kCodePageWindows1252), 1);
  EXPECT_EQ(CodePageMaxCharSize(kCodePageUtf8), 4);
}

TEST(Win32CodePageTest, Utf8RoundTripAndRepairs) {
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "\xC3\xA9\xF0\x9F\x98\x80"), u"\u00E9\U0001F600");
  EXPECT_EQ(WideToMultiByte(kCodePageUtf8, u"\u00E9\U0001F600", '?'), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(MultiByteToWide(kCodePageUtf8, "a\xFF"), u"a\uFFFD");
  EXPECT_TRUE(MultiByteToWide(kCodePageUtf8, "").empty());
}

TEST(Win32CodePageTest, SystemCodePageIsTheAnsiCodePage) {
  EXPECT_EQ(SystemCodePage(), ::GetACP());
  EXPECT_EQ(CodePageOfLocale("de_DE.ISO-8859-1"), 1252u);
  EXPECT_EQ(CodePageOfLocale("no-such-locale"), kCodePageUtf8);
}

TEST(Win32PathsTest, FolderPartEndsAtTheLastBackslashOrColon) {
  EXPECT_EQ(kPathDelimiter, '\\');
  EXPECT_STREQ(kExecutableSuffix, ".exe");
  EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Tessel\\tessel.exe"),
            "C:\\Program Files\\Tessel\\");
  EXPECT_EQ(ExtractFilePath("C:tessel.exe"), "C:");
  EXPECT_EQ(ExtractFilePath("tessel.exe"), "");
}

TEST(Win32PathsTest, ProgramAndApplicationDataFolders) {
  const std::string program = ProgramFilePath();
  EXPECT_TRUE(program.ends_with("\\win32_tests.exe")) << program;
  const std::string appData = AppDataFolder();
  EXPECT_FALSE(appData.empty());
  EXPECT_NE(appData.back(), '\\');
  EXPECT_TRUE(std::filesystem::is_directory(appData)) << appData;
}

TEST(Win32PrivateProfileTest, ReadsWithTheSystemsRules) {
  const std::string file = (std::filesystem::temp_directory_path() / "wt-profile.ini").string();
  std::ofstream(file) << "[Server]\r\nPort = 0x5140 \r\nquoted=\"a b\"\r\nlong=" +
                             std::string(3000, 'x') + "\r\n";
  EXPECT_EQ(ReadProfileString("server", "PORT", "d", file), "0x5140");
  EXPECT_EQ(ReadProfileString("server", "quoted", "d", file), "a b");
  EXPECT_EQ(ReadProfileString("server", "long", "d", file).size(), kProfileValueMaxLength);
  EXPECT_EQ(ReadProfileString("server", "missing", "d", file), "d");
  EXPECT_EQ(ReadProfileString("server", "port", "d", file + ".missing"), "d");
  std::remove(file.c_str());
}

TEST(Win32TimeZoneTest, BiasIsTheSystemsBiasNow) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD which = ::GetTimeZoneInformation(&zone);
  const LONG expected = zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                     : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                                      : 0);
  EXPECT_EQ(UtcBiasMinutes(), expected);
}

}  // namespace
}  // namespace webtessl
