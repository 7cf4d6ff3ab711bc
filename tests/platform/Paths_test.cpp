#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/ConfigPath.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::TempFolder;

// Sets an environment variable for one test and restores it afterwards.
class EnvironmentScope {
 public:
  EnvironmentScope(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Apply(value);
  }
  ~EnvironmentScope() { Apply(previous_); }

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(PathsTest, AppDataFolderFollowsXdgConfigHomeAndIsCreated) {
  TempFolder folder;
  const std::string configHome = folder.File("deep/config");
  const EnvironmentScope scope("XDG_CONFIG_HOME", configHome + "/");
  EXPECT_EQ(AppDataFolder(), configHome);
  EXPECT_TRUE(std::filesystem::is_directory(configHome));
  EXPECT_EQ(DefaultConfigPath(), configHome + "/WebTessl/config.ini");
  EXPECT_FALSE(std::filesystem::exists(configHome + "/WebTessl"));  // never created
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
