#include "app/ConfigPath.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/EnvironmentScope.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::EnvironmentScope;
using testing_support::TempFolder;

TEST(ConfigPathTest, NamesTheFileInTheApplicationDataFolderWithoutCreatingIt) {
  TempFolder folder;
  const std::string configHome = folder.File("deep/config");
  const EnvironmentScope scope("XDG_CONFIG_HOME", configHome + "/");
  EXPECT_EQ(DefaultConfigPath(), configHome + "/WebTessl/config.ini");
  EXPECT_TRUE(std::filesystem::is_directory(configHome));
  EXPECT_FALSE(std::filesystem::exists(configHome + "/WebTessl"));  // never created
}

}  // namespace
}  // namespace webtessl
