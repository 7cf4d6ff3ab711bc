#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "tests/support/EnvironmentScope.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::EnvironmentScope;
using testing_support::TempFolder;

TEST(PathsTest, AppDataFolderFollowsXdgConfigHomeAndIsCreated) {
  TempFolder folder;
  const std::string configHome = folder.File("deep/config");
  const EnvironmentScope scope("XDG_CONFIG_HOME", configHome + "/");
  EXPECT_EQ(AppDataFolder(), configHome);
  EXPECT_TRUE(std::filesystem::is_directory(configHome));
}

TEST(PathsTest, AppDataFolderFallsBackToHomeConfig) {
  TempFolder folder;
  const EnvironmentScope home("HOME", folder.Path().string());
  for (const std::optional<std::string>& configHome :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("relative/folder")}) {
    const EnvironmentScope scope("XDG_CONFIG_HOME", configHome);
    EXPECT_EQ(AppDataFolder(), folder.File(".config"));
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder.File(".config")));
}

TEST(PathsTest, ProgramFilePathIsThisTestProgram) {
  const std::string path = ProgramFilePath();
  EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
  EXPECT_TRUE(std::filesystem::path(path).is_absolute());
  EXPECT_EQ(ExtractFilePath(path), std::string(WEBTESSL_BUILD_DIR) + "/tests/");
}

TEST(PathsTest, ExtractFilePathKeepsTheTrailingDelimiter) {
  EXPECT_EQ(ExtractFilePath("/usr/bin/webtessl"), "/usr/bin/");
  EXPECT_EQ(ExtractFilePath("/webtessl"), "/");
  EXPECT_EQ(ExtractFilePath("folder/"), "folder/");
  EXPECT_EQ(ExtractFilePath("webtessl"), "");
  EXPECT_EQ(ExtractFilePath(""), "");
}

}  // namespace
}  // namespace webtessl
