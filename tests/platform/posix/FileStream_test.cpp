// What the POSIX file stream adds to the contract of tests/platform/FileStream_test.cpp: named
// pipes, and symbolic links, which opening below a folder never follows.

#include "platform/FileStream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/SecondUser.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::TempFolder;

TEST(PosixFileStreamTest, NeverBlocksOnANamedPipe) {
  const TempFolder folder;
  const std::string pipe = folder.File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(pipe, &why));  // no writer: a blocking open would wait for ever
  EXPECT_EQ(why, TFileError::NotRegularFile);
}

// With every descriptor taken, the reason says so (a server answers that differently from a
// missing file).
TEST(PosixFileStreamTest, SaysWhenNoDescriptorIsLeft) {
  const TempFolder folder;
  const std::string path = folder.Write("a.txt", "a");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> taken;
  for (int fd = open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0;
       fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) {
    taken.push_back(fd);
  }
  TFileError why = TFileError::None;
  const bool opened = TFileStream::Open(path, &why) != nullptr;
  for (const int fd : taken) close(fd);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_FALSE(opened);
  EXPECT_EQ(why, TFileError::TooManyOpenFiles);
}

// A file that this account may not read is told apart from a missing one: the server answers
// the two differently.
TEST(PosixFileStreamTest, SaysWhenTheFileMayNotBeRead) {
  const std::optional<testing_support::TSecondUser> other = testing_support::SecondUser();
  if (!other) GTEST_SKIP() << testing_support::kNoSecondUser;
  const TempFolder folder;
  const std::string path = folder.Write("private.txt", "private");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TFileError why = TFileError::None;
    const bool denied = testing_support::BecomeUser(*other) && !TFileStream::Open(path, &why) &&
                        why == TFileError::AccessDenied;
    _exit(denied ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "another user's open of a 0600 file did not say AccessDenied";
}

// A link anywhere on the way down opens nothing, though the folder's own path may hold links.
// The opened file tells its own path, also after it was moved.
TEST(PosixFileStreamTest, OpensBelowAFolderWithoutLinksAndFollowsAMove) {
  const TempFolder folder;
  const std::filesystem::path base = folder.Path();
  std::filesystem::create_directories(base / "root" / "sub");
  folder.Write("root/sub/a.txt", "a");
  folder.Write("outside.txt", "outside");
  std::filesystem::create_symlink(base / "outside.txt", base / "root" / "link.txt");
  std::filesystem::create_symlink(base / "root" / "sub", base / "root" / "alias");
  std::filesystem::create_directory_symlink(base / "root", base / "root-link");

  const std::string root = folder.File("root");
  EXPECT_TRUE(TFileStream::OpenBeneath(folder.File("root-link"), "sub/a.txt"))
      << "the folder's own path may hold links";
  for (const char* link : {"link.txt", "alias/a.txt"}) {
    TFileError why = TFileError::None;
    EXPECT_FALSE(TFileStream::OpenBeneath(root, link, &why)) << link;
    EXPECT_EQ(why, TFileError::LinkOrClimb) << link;
  }

  const auto opened = TFileStream::OpenBeneath(root, "sub/a.txt");
  ASSERT_TRUE(opened);
  std::filesystem::rename(base / "root" / "sub", base / "root" / "moved");
  EXPECT_EQ(opened->RealPath(), std::filesystem::canonical(base / "root/moved/a.txt").string());
}

}  // namespace
}  // namespace webtessl
