#include "platform/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace webtessl {

const char kPathDelimiter = '/';
const char kExecutableSuffix[] = "";

namespace {

constexpr char kConfigHomeVariable[] = "XDG_CONFIG_HOME";
constexpr char kHomeVariable[] = "HOME";
constexpr char kConfigFolderBelowHome[] = "/.config";
constexpr char kProgramLink[] = "/proc/self/exe";
constexpr mode_t kNewFolderMode = 0700;

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeFolder() {
  std::string home = EnvironmentValue(kHomeVariable);
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    home = found->pw_dir;
  }
  return home;
}

// Creates the folder and its missing parents; an existing folder is fine.
void CreateFolders(const std::string& folder) {
  for (size_t slash = folder.find(kPathDelimiter, 1);;
       slash = folder.find(kPathDelimiter, slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), kNewFolderMode) != 0 && errno != EEXIST) return;
    if (slash == std::string::npos) return;
  }
}

}  // namespace

std::string AppDataFolder() {
  std::string folder = EnvironmentValue(kConfigHomeVariable);
  if (folder.empty() || folder.front() != kPathDelimiter) {
    folder = HomeFolder() + kConfigFolderBelowHome;
  }
  while (folder.size() > 1 && folder.back() == kPathDelimiter) folder.pop_back();
  CreateFolders(folder);
  return folder;
}

std::string ProgramFilePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink(kProgramLink, buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExtractFilePath(std::string_view path) {
  const size_t delimiter = path.rfind(kPathDelimiter);
  if (delimiter == std::string_view::npos) return {};
  return std::string(path.substr(0, delimiter + 1));
}

bool IsAbsolutePath(std::string_view path) {
  return !path.empty() && path.front() == kPathDelimiter;
}

}  // namespace webtessl
