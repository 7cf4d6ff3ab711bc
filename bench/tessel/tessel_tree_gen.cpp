// Writes the reproducible tree of bench/tessel/TreePlan.h to disk: empty files, nested folders.
// Usage: tessel_tree_gen SEED ENTRIES FOLDER   (FOLDER must not exist yet)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/tessel/TreePlan.h"

namespace webtessl::bench {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;

// An open folder, closed when the object goes.
class TFolderFd {
 public:
  explicit TFolderFd(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY)) {}
  ~TFolderFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFolderFd(const TFolderFd&) = delete;
  TFolderFd& operator=(const TFolderFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

bool Fail(const std::string& what) {
  std::fprintf(stderr, "tessel_tree_gen: %s: %s\n", what.c_str(), std::strerror(errno));
  return false;
}

// Creates the folder's subfolders and its empty files; its own path is already in `paths`.
bool WriteFolder(const std::vector<TPlannedFolder>& plan, const std::vector<size_t>& children,
                 std::vector<std::string>& paths, size_t folder) {
  const TFolderFd fd(paths[folder]);
  if (fd.Get() < 0) return Fail(paths[folder]);
  for (const size_t child : children) {
    paths[child] = paths[folder] + "/" + plan[child].name;
    if (::mkdirat(fd.Get(), plan[child].name.c_str(), kFolderMode) != 0) return Fail(paths[child]);
  }
  for (const std::string& file : plan[folder].files) {
    const int created = ::openat(fd.Get(), file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (created < 0) return Fail(paths[folder] + "/" + file);
    ::close(created);
  }
  return true;
}

bool WriteTree(const std::vector<TPlannedFolder>& plan, const std::string& root) {
  if (::mkdir(root.c_str(), kFolderMode) != 0) return Fail(root);
  std::vector<std::vector<size_t>> children(plan.size());
  for (size_t folder = 1; folder < plan.size(); ++folder) children[plan[folder].parent].push_back(folder);
  std::vector<std::string> paths(plan.size());
  paths[0] = root;
  for (size_t folder = 0; folder < plan.size(); ++folder) {
    if (!WriteFolder(plan, children[folder], paths, folder)) return false;
  }
  return true;
}

}  // namespace
}  // namespace webtessl::bench

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tessel_tree_gen SEED ENTRIES FOLDER\n");
    return 2;
  }
  const uint64_t seed = std::strtoull(argv[1], nullptr, 10);
  const size_t entries = std::strtoull(argv[2], nullptr, 10);
  const auto plan = webtessl::bench::PlanTree(seed, entries);
  return webtessl::bench::WriteTree(plan, argv[3]) ? 0 : 1;
}
