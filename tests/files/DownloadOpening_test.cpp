#include "files/DownloadOpening.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/SecondUser.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::TempFolder;

constexpr char kInside[] = "inside";

// A shared folder "shared" with a regular file and a subfolder that another process keeps
// swapping for links to what lies outside the scope: a secret file and folder beside it, a file
// in the excluded folder "shared/private" and one in the hidden folder "shared/.hidden".
class TSwappedShare {
 public:
  TSwappedShare() {
    for (const char* name : {"shared/private", "shared/.hidden", "shared/sub", "outside"}) {
      std::filesystem::create_directories(folder_.File(name));
    }
    folder_.Write("outside/doc.txt", "SECRET");
    folder_.Write("shared/private/doc.txt", "PRIVATE");
    folder_.Write("shared/.hidden/doc.txt", "HIDDEN");
    folder_.Write("shared/doc.txt", kInside);
    folder_.Write("shared/sub/doc.txt", kInside);
  }
  ~TSwappedShare() { StopSwapping(); }

  // Starts the swapping process, as the second local user when there is one (who then owns the
  // shared folder, as another user who shares files would).
  void StartSwapping() {
    const auto other = testing_support::SecondUser();
    if (other) {
      for (const char* name : {"shared", "shared/sub"}) {
        ASSERT_EQ(::chown(folder_.File(name).c_str(), other->uid, other->gid), 0);
      }
    }
    swapper_ = ::fork();
    if (swapper_ == 0) {
      if (other && !testing_support::BecomeUser(*other)) ::_exit(3);
      SwapForever();
    }
    ASSERT_GT(swapper_, 0);
  }
  void StopSwapping() {
    if (swapper_ <= 0) return;
    ::kill(swapper_, SIGKILL);
    ::waitpid(swapper_, nullptr, 0);
    swapper_ = -1;
  }

  std::string File(const std::string& name) const { return folder_.File(name); }

 private:
  // Replaces the file in one step by a link to `linkTo`, then by a regular file again.
  void Swap(const std::string& target, const std::string& linkTo) const {
    const std::string link = target + ".link";
    const std::string regular = target + ".regular";
    ::unlink(link.c_str());
    if (::symlink(linkTo.c_str(), link.c_str()) == 0) ::rename(link.c_str(), target.c_str());
    if (FILE* out = std::fopen(regular.c_str(), "w")) {
      std::fputs(kInside, out);
      std::fclose(out);
    }
    ::rename(regular.c_str(), target.c_str());
  }

  [[noreturn]] void SwapForever() const {
    const std::vector<std::string> outside = {File("outside/doc.txt"),
                                              File("shared/private/doc.txt"),
                                              File("shared/.hidden/doc.txt")};
    for (size_t round = 0;; ++round) {
      Swap(File("shared/doc.txt"), outside[round % outside.size()]);
      const std::string folderTarget = round % 2 == 0 ? File("outside") : File("shared/private");
      // A folder cannot be renamed over a link, nor a link over a folder that holds something:
      // the folder is moved aside first.
      ::rename(File("shared/sub").c_str(), File("shared/sub.old").c_str());
      ::unlink(File("shared/sub.link").c_str());
      if (::symlink(folderTarget.c_str(), File("shared/sub.link").c_str()) == 0) {
        ::rename(File("shared/sub.link").c_str(), File("shared/sub").c_str());
      }
      ::unlink(File("shared/sub").c_str());
      ::rename(File("shared/sub.old").c_str(), File("shared/sub").c_str());
    }
  }

  TempFolder folder_;
  pid_t swapper_ = -1;
};

std::string ReadAll(TFileStream& file) {
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Downloads run while another process swaps the requested file and its folder for links that
// lead out of the scope (outside "dirs", into "excludedirs", into a hidden folder): whatever is
// served is the shared file itself, never a byte of what lies outside.
TEST(DownloadOpeningTest, NothingOutsideTheScopeIsServedWhileFilesAreSwappedForLinks) {
  TSwappedShare share;
  share.StartSwapping();
  if (!testing_support::SecondUser()) {
    std::fprintf(stderr, "swapping as this user: %s\n", testing_support::kNoSecondUser);
  }
  const std::vector<std::string> excluded = {share.File("shared/private")};
  const std::vector<std::vector<std::string>> dirsCases = {{share.File("shared")}, {}};
  constexpr int kRequests = 4000;
  int served = 0;
  for (const auto& dirs : dirsCases) {
    std::vector<std::string> excludeDirs = excluded;
    if (dirs.empty()) excludeDirs.push_back(share.File("outside"));
    for (int i = 0; i < kRequests; ++i) {
      const char* name = i % 2 == 0 ? "shared/doc.txt" : "shared/sub/doc.txt";
      TDownloadOpening opened = OpenDownload(share.File(name), dirs, excludeDirs);
      if (!opened.file) {
        ASSERT_EQ(opened.status, 404);
        continue;
      }
      ASSERT_EQ(ReadAll(*opened.file), kInside) << name << " after " << i << " requests";
      ++served;
    }
  }
  share.StopSwapping();
  EXPECT_GT(served, 0) << "the regular file was never there to serve";
}

// What is opened is judged, not the path: a file whose own path has a link on the way is refused
// even when the link leads into the scope, and a file opened in the scope is judged by where it
// really lies.
TEST(DownloadOpeningTest, OpensWithoutFollowingLinksAndJudgesTheOpenedFile) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("shared/inner"));
  const std::string file = folder.Write("shared/inner/a.txt", "a");
  std::filesystem::create_directory_symlink(folder.File("shared/inner"),
                                            folder.File("shared/alias"));
  std::filesystem::create_directory_symlink(folder.File("shared"), folder.File("share-link"));
  const std::vector<std::string> dirs = {folder.File("share-link")};

  TDownloadOpening opened = OpenDownload(folder.File("shared/alias/a.txt"), {}, {});
  EXPECT_FALSE(opened.file) << "a link on the way";
  EXPECT_EQ(opened.status, 404);
  opened = OpenDownload(file, dirs, {});
  ASSERT_TRUE(opened.file) << "the real path lies in a shared folder given through a link";
  EXPECT_EQ(ReadAll(*opened.file), "a");
  opened = OpenDownload(folder.File("share-link/inner/a.txt"), dirs, {});
  ASSERT_TRUE(opened.file) << "the shared folder's own link is the operator's";
  opened = OpenDownload(file, dirs, {folder.File("share-link/inner")});
  EXPECT_FALSE(opened.file) << "excluded through the resolved folder";
  opened = OpenDownload("shared/inner/a.txt", {}, {});
  EXPECT_FALSE(opened.file) << "a relative path";
  opened = OpenDownload(folder.File("shared/inner/../inner/a.txt"), {folder.File("shared/inner")}, {});
  EXPECT_FALSE(opened.file) << "climbing out of the shared folder on the way";
}

}  // namespace
}  // namespace webtessl
