#include "config/FolderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/IniFile.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

// Relative pieces, such as the halves of an unquoted folder name with a blank, are dropped and
// said once however often the list is read; absolute folders, quoted ones too, stay.
TEST(FolderListTest, RelativePiecesAreDroppedAndSaidOnce) {
  testing_support::TempFolder folder;
  const std::string config = folder.Write(
      "config.ini", "[settings]\ndirs=/srv/share;/home/my files,\"/home/with blank\",docs\n");
  const TIniFile iniFile(config);
  ::testing::internal::CaptureStdout();
  const std::vector<std::string> first = ReadFolderList(iniFile, "settings", "dirs");
  const std::vector<std::string> again = ReadFolderList(iniFile, "settings", "dirs");
  const std::string output = ::testing::internal::GetCapturedStdout();
  const std::vector<std::string> expected = {"/srv/share", "/home/my", "/home/with blank"};
  EXPECT_EQ(first, expected);
  EXPECT_EQ(again, expected);
  EXPECT_EQ(output,
            "[settings] dirs: \"files\" is not an absolute path and is ignored (put a folder name "
            "with blanks or commas in double quotes)\n"
            "[settings] dirs: \"docs\" is not an absolute path and is ignored (put a folder name "
            "with blanks or commas in double quotes)\n");
}

}  // namespace
}  // namespace webtessl
