#include "config/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigKeys.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::TempFolder;
using Items = std::vector<std::string>;

class IniFileTest : public ::testing::Test {
 protected:
  // A reader on config.ini holding the given text.
  TIniFile WithContent(const std::string& content) {
    return TIniFile(folder_.Write("config.ini", content));
  }
  int32_t PortOf(const std::string& value) {
    return WithContent("[server]\nport=" + value + "\n")
        .ReadInteger(kSectionServer, kKeyPort, kDefaultPort);
  }

  TempFolder folder_;
};

// What every reader of the program gets when the file holds nothing for it.
void ExpectAllDefaults(const TIniFile& ini) {
  EXPECT_EQ(ini.ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 20800);
  EXPECT_EQ(ini.ReadList(kSectionSettings, kKeyDirs), Items{});
  EXPECT_EQ(ini.ReadList(kSectionSettings, kKeyExcludeDirs), Items{});
  EXPECT_EQ(ini.ReadInteger(kSectionSettings, kKeyDefaultPageSize, kDefaultPageSize), 25);
  EXPECT_TRUE(ini.ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload));
  EXPECT_EQ(ini.ReadString(kSectionSettings, "other", "fallback"), "fallback");
}

TEST_F(IniFileTest, MissingFileOrFolderAsFileGivesDefaults) {
  const TIniFile missing(folder_.File("absent/config.ini"));
  EXPECT_EQ(missing.FileName(), folder_.File("absent/config.ini"));
  ExpectAllDefaults(missing);
  std::filesystem::create_directory(folder_.File("folder.ini"));
  ExpectAllDefaults(TIniFile(folder_.File("folder.ini")));
  EXPECT_FALSE(std::filesystem::exists(folder_.File("absent")));  // reading creates nothing
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndOneQuotePair) {
  const TIniFile ini = WithContent(
      "; a comment\r\n"
      "orphan=before any section\r\n"
      " [ Settings ] \r\n"
      "  Name  =   spaced value \t \r\n"
      "quoted = \"  keeps inner blanks \"\r\n"
      "single='x'\r\n"
      "half=\"open\r\n"
      "twice=\"\"a\"\"\r\n"
      ";commented=yes\r\n"
      "empty=\r\n"
      "name=second occurrence\r\n"
      "[other]\r\n"
      "name=other section\r\n");
  EXPECT_EQ(ini.ReadString("SETTINGS", "name", "d"), "spaced value");
  EXPECT_EQ(ini.ReadString("settings", "QUOTED", "d"), "  keeps inner blanks ");
  EXPECT_EQ(ini.ReadString("settings", "single", "d"), "x");
  EXPECT_EQ(ini.ReadString("settings", "half", "d"), "\"open");
  EXPECT_EQ(ini.ReadString("settings", "twice", "d"), "\"a\"");
  EXPECT_EQ(ini.ReadString("settings", "commented", "d"), "d");
  EXPECT_EQ(ini.ReadString("settings", "empty", "d"), "");
  EXPECT_EQ(ini.ReadString("settings", "orphan", "d"), "d");
  EXPECT_EQ(ini.ReadString("other", "name", "d"), "other section");
  EXPECT_EQ(ini.ReadString("missing", "name", "d"), "d");
}

TEST_F(IniFileTest, PortForms) {
  EXPECT_EQ(PortOf("0x5140"), 20800);
  EXPECT_EQ(PortOf("0X5140"), 20800);
  EXPECT_EQ(PortOf("$5140"), 20800);
  EXPECT_EQ(PortOf("   20800"), 20800);
  EXPECT_EQ(PortOf("8080"), 8080);
  EXPECT_EQ(PortOf("\"8081\""), 8081);
  EXPECT_EQ(PortOf("20801abc"), 20800);
  EXPECT_EQ(PortOf("letters"), 20800);
  EXPECT_EQ(PortOf(""), 20800);
  EXPECT_EQ(PortOf("99999999999"), 20800);
}

TEST_F(IniFileTest, BooleansAreIntegers) {
  const auto enabled = [this](const std::string& value) {
    return WithContent("[settings]\nenabledownload=" + value + "\n")
        .ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload);
  };
  EXPECT_TRUE(enabled("1"));
  EXPECT_TRUE(enabled("-1"));
  EXPECT_TRUE(enabled("$10"));
  EXPECT_FALSE(enabled("0"));
  EXPECT_FALSE(enabled(" 0x0"));
  EXPECT_TRUE(enabled("false"));  // does not convert: the default applies
  EXPECT_TRUE(enabled("no"));
  const TIniFile ini = WithContent("[settings]\nflag=yes\n");
  EXPECT_FALSE(ini.ReadBool("settings", "flag", false));
}

TEST_F(IniFileTest, ListsWithSemicolonsQuotesAndSpaces) {
  const TIniFile ini = WithContent(
      "[settings]\n"
      "dirs=/data/a;/data/b\n"
      "quoted=\"/Program Files\",/x\n"
      "unquoted=/Program Files\n"
      "mixed= /a ; \"/b c\";;/d, \n"
      "excludedirs=\n");
  EXPECT_EQ(ini.ReadList("settings", "dirs"), (Items{"/data/a", "/data/b"}));
  EXPECT_EQ(ini.ReadList("settings", "quoted"), (Items{"/Program Files", "/x"}));
  EXPECT_EQ(ini.ReadList("settings", "unquoted"), (Items{"/Program", "Files"}));
  // The blank after the last comma goes with the value's blanks, so the comma ends the text.
  EXPECT_EQ(ini.ReadList("settings", "mixed"), (Items{"/a", "/b c", "", "/d", ""}));
  EXPECT_EQ(ini.ReadList("settings", "excludedirs"), Items{});
}

TEST_F(IniFileTest, LongValuesAreCutTo2047Characters) {
  std::string value;
  for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
  const TIniFile ini = WithContent("[settings]\ndirs=" + value + "\n");
  EXPECT_EQ(ini.ReadString("settings", "dirs", ""), value.substr(0, 2047));
  EXPECT_EQ(ini.ReadString("settings", "absent", value), value.substr(0, 2047));
}

TEST_F(IniFileTest, EveryReadGoesToTheFile) {
  const std::string file = folder_.Write("config.ini", "[settings]\nenabledownload=1\n");
  const TIniFile ini(file);
  EXPECT_TRUE(ini.ReadBool("settings", "enabledownload", true));
  folder_.Write("config.ini", "[settings]\nenabledownload=0\n");
  EXPECT_FALSE(ini.ReadBool("settings", "enabledownload", true));
  std::filesystem::remove(file);
  EXPECT_TRUE(ini.ReadBool("settings", "enabledownload", true));
}

TEST_F(IniFileTest, SnapshotAnswersFromOneReadingAndTheNextOneSeesEdits) {
  const std::string file =
      folder_.Write("config.ini", "[settings]\nenabledownload=0\ndirs=/a;\"/b c\"\n[server]\nport=81\n");
  const TIniFile ini(file);
  const TIniFile snapshot = ini.Snapshot();
  folder_.Write("config.ini", "[settings]\nenabledownload=1\n");
  EXPECT_FALSE(snapshot.ReadBool(kSectionSettings, kKeyEnableDownload, true));
  EXPECT_EQ(snapshot.ReadList(kSectionSettings, kKeyDirs), (Items{"/a", "/b c"}));
  EXPECT_EQ(snapshot.ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 81);
  EXPECT_EQ(snapshot.FileName(), file);
  EXPECT_TRUE(ini.Snapshot().ReadBool(kSectionSettings, kKeyEnableDownload, false));
  EXPECT_EQ(ini.Snapshot().ReadList(kSectionSettings, kKeyDirs), Items{});
  std::filesystem::remove(file);
  ExpectAllDefaults(ini.Snapshot());
  // A file too large to hold is read as the plain reader reads it, with the same values.
  std::string huge = "[settings]\n";
  while (huge.size() <= 2 * 1024 * 1024) huge += "key=value\n";
  const TIniFile large = WithContent(huge + "[server]\nport=82\n");
  EXPECT_EQ(large.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 82);
  EXPECT_EQ(large.Snapshot().ReadString(kSectionSettings, "key", ""), "value");
}

// Snapshots of an unchanged file share one reading; each kind of change still shows in the next.
TEST_F(IniFileTest, KeptSnapshotsGiveWayToEveryChangeOfTheFile) {
  const std::string file = folder_.Write("config.ini", "[server]\nport=81\n");
  const TIniFile ini(file, 0);  // kept as soon as read
  const TIniFile first = ini.Snapshot();
  EXPECT_EQ(ini.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 81);
  folder_.Write("config.ini", "[server]\nport=8282\n");  // in place, another size
  EXPECT_EQ(ini.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 8282);
  // Another file of the same size put in its place.
  const std::string replacement = folder_.Write("next.ini", "[server]\nport=8383\n");
  std::filesystem::rename(replacement, file);
  EXPECT_EQ(ini.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 8383);
  std::filesystem::remove(file);
  ExpectAllDefaults(ini.Snapshot());
  folder_.Write("config.ini", "[server]\nport=84\n");
  EXPECT_EQ(ini.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 84);
  EXPECT_EQ(first.ReadInteger(kSectionServer, kKeyPort, kDefaultPort), 81);  // its own moment
}

// Two writes within the clock's grain can leave equal stamps; a file written moments ago is
// therefore read again for every snapshot, so an edit of the same size right after is seen.
TEST_F(IniFileTest, FreshlyWrittenFileIsReadForEverySnapshot) {
  const std::string file = folder_.Write("config.ini", "[server]\nport=81\n");
  const TIniFile ini(file);
  for (int port = 81; port <= 89; ++port) {
    folder_.Write("config.ini", "[server]\nport=" + std::to_string(port) + "\n");
    EXPECT_EQ(ini.Snapshot().ReadInteger(kSectionServer, kKeyPort, kDefaultPort), port);
  }
}

TEST_F(IniFileTest, BinaryGarbageNeverBreaksTheReader) {
  std::mt19937 random(20800);
  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage += static_cast<char>(random() & 0xFF);
  ExpectAllDefaults(WithContent(garbage));
  // A NUL ends the line it stands in, and the reading goes on with the next line.
  const TIniFile ini = WithContent(garbage + "\n[server]\nport=81" + std::string(1, '\0') +
                                   "99\n[settings]\ndirs=/a\n" + garbage);
  EXPECT_EQ(ini.ReadInteger("server", "port", kDefaultPort), 81);
  EXPECT_EQ(ini.ReadList("settings", "dirs"), Items{"/a"});
  EXPECT_EQ(ini.Snapshot().ReadInteger("server", "port", kDefaultPort), 81);
  EXPECT_EQ(ini.Snapshot().ReadList("settings", "dirs"), Items{"/a"});
}

TEST_F(IniFileTest, DevicesAndEndlessLinesGiveDefaultsOrTheirValues) {
  ExpectAllDefaults(TIniFile("/dev/zero"));  // never ends: only regular files are read
  ExpectAllDefaults(TIniFile("/dev/null"));
  ExpectAllDefaults(TIniFile("/dev/zero").Snapshot());
  // A line far longer than any value is read only so far, and the next line is read as usual.
  const TIniFile ini =
      WithContent("[settings]\nhuge=" + std::string(5'000'000, 'x') + "\n[server]\nport=81\n");
  EXPECT_EQ(ini.ReadString("settings", "huge", "").size(), 2047u);
  EXPECT_EQ(ini.ReadInteger("server", "port", kDefaultPort), 81);
}

TEST_F(IniFileTest, HundredThousandLines) {
  std::string content = "[settings]\n";
  for (int i = 0; i < 100000; ++i)
    content += "key" + std::to_string(i) + "=value " + std::to_string(i) + "\n";
  content += "[server]\nport=8080\n";
  const TIniFile ini = WithContent(content);
  EXPECT_EQ(ini.ReadInteger("server", "port", kDefaultPort), 8080);
  EXPECT_EQ(ini.ReadString("settings", "key99999", ""), "value 99999");
  EXPECT_EQ(ini.ReadInteger("settings", "defaultpagesize", kDefaultPageSize), 25);
}

TEST(IniFileConcurrencyTest, ManyThreadsReadWhileTheFileChanges) {
  TempFolder folder;
  const std::string file = folder.Write("config.ini", "[settings]\ndefaultpagesize=10\n");
  const TIniFile ini(file);
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&ini] {
      for (int i = 0; i < 200; ++i) {
        const int32_t size = ini.ReadInteger("settings", "defaultpagesize", kDefaultPageSize);
        // A read sees the old value, the new one, or the default mid-rewrite, nothing else.
        EXPECT_TRUE(size == 10 || size == 20 || size == kDefaultPageSize) << size;
      }
    });
  }
  for (int i = 0; i < 50; ++i) folder.Write("config.ini", "[settings]\ndefaultpagesize=20\n");
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(ini.ReadInteger("settings", "defaultpagesize", kDefaultPageSize), 20);
}

TEST(IniFileConcurrencyTest, ManyThreadsTakeSnapshotsWhileTheFileChanges) {
  TempFolder folder;
  const std::string file = folder.Write("config.ini", "[settings]\ndefaultpagesize=10\n");
  const TIniFile ini(file, 0);  // readings kept and replaced while the threads take them
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&ini] {
      for (int i = 0; i < 200; ++i) {
        const int32_t size =
            ini.Snapshot().ReadInteger("settings", "defaultpagesize", kDefaultPageSize);
        EXPECT_TRUE(size == 10 || size == 200 || size == kDefaultPageSize) << size;
      }
    });
  }
  for (int i = 0; i < 50; ++i) folder.Write("config.ini", "[settings]\ndefaultpagesize=200\n");
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(ini.Snapshot().ReadInteger("settings", "defaultpagesize", kDefaultPageSize), 200);
}

}  // namespace
}  // namespace webtessl
