// The Win32 backend's password hashing, absolute paths and host name, against the real system.

#include <gtest/gtest.h>

#include <string>

#include "platform/PasswordHash.h"
#include "platform/Paths.h"
#include "platform/Sockets.h"

namespace webtessl {
namespace {

TEST(Win32PasswordHashTest, SaltedHashesMatchOnlyTheirPassword) {
  const std::string first = HashPassword("correct horse");
  ASSERT_EQ(first.rfind("$pbkdf2-sha256$600000$", 0), 0u) << first;
  EXPECT_NE(first, HashPassword("correct horse"));
  EXPECT_TRUE(PasswordMatches("correct horse", first));
  EXPECT_FALSE(PasswordMatches("correct horsE", first));
  EXPECT_FALSE(PasswordMatches("correct horse", first.substr(0, first.size() - 2)));
  EXPECT_FALSE(PasswordMatches("correct horse", "$pbkdf2-sha256$x$00$00"));
}

TEST(Win32PathsTest, AbsolutePathsNeedADriveAndDelimiterOrAShare) {
  EXPECT_TRUE(IsAbsolutePath("C:\\Users"));
  EXPECT_TRUE(IsAbsolutePath("d:/data"));
  EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
  EXPECT_FALSE(IsAbsolutePath("C:relative"));
  EXPECT_FALSE(IsAbsolutePath("Files"));
  EXPECT_FALSE(IsAbsolutePath("\\single"));
}

TEST(Win32SocketsTest, TheMachineHasAHostName) {
  EXPECT_FALSE(LocalHostName().empty());
}

}  // namespace
}  // namespace webtessl
