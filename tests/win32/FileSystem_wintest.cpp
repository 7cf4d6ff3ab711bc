// What the Win32 file-system functions add to the contract of tests/platform/FileSystem_test.cpp:
// devices, streams and wildcards that name nothing, and letter case.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

class Win32FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_.Path() / "Secret Folder");
    folder_.Write("Secret Folder\\Key.txt", std::string(1234, 'k'));
  }

  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  testing_support::TempFolder folder_;
};

TEST_F(Win32FileSystemTest, DevicesStreamsAndWildcardsNameNothing) {
  for (const std::string name :
       {"con", "NUL.txt", "Secret Folder\\aux", "com1", "LPT9 .log", "CONOUT$",
        "Secret Folder\\Key.txt::$DATA", "Secret*", "Secret Folder\\Key.tx?"}) {
    EXPECT_FALSE(FileFacts(PathOf(name))) << name;
    EXPECT_FALSE(CanonicalPath(PathOf(name))) << name;
  }
  EXPECT_FALSE(FileFacts(PathOf("Key.txt") + std::string(1, '\0')));
  EXPECT_TRUE(ListDirectory(PathOf("Secret*")).empty());
}

TEST_F(Win32FileSystemTest, CanonicalPathSettlesLetterCase) {
  const auto real = CanonicalPath(PathOf("Secret Folder\\Key.txt"));
  ASSERT_TRUE(real);
  EXPECT_EQ(CanonicalPath(PathOf("SECRET FOLDER\\key.TXT")), real);
  EXPECT_EQ(CanonicalPath(PathOf("Secret Folder\\.\\..\\Secret Folder\\Key.txt")), real);
  EXPECT_FALSE(real->starts_with("\\\\?\\"));
  EXPECT_FALSE(CanonicalPath(PathOf("missing.txt")));
}

}  // namespace
}  // namespace webtessl
