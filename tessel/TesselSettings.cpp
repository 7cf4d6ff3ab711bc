#include "tessel/TesselSettings.h"

#include <algorithm>

#include "common/IntegerText.h"
#include "platform/Paths.h"
#include "platform/PrivateProfile.h"
#include "tessel/FolderPaths.h"
#include "tessel/NativePath.h"
#include "tessel/SearchQuery.h"

namespace webtessl {
namespace {

constexpr char kSection[] = "index";
constexpr char kSettingsFile[] = "/Tessel/tessel.ini";

std::string ExpandHome(const std::string& folder) {
  if (folder == "~") return HomeFolder();
  if (folder.starts_with("~/")) return HomeFolder() + folder.substr(1);
  return folder;
}

// Normalized folders, dropping any that lies inside another one of the list.
std::vector<std::string> RootFolders(const std::string& text) {
  std::vector<std::string> folders;
  for (const std::string& item : SplitList(text)) {
    if (const auto folder = NormalizeFolder(ExpandHome(item))) folders.push_back(*folder);
  }
  std::sort(folders.begin(), folders.end());
  std::vector<std::string> roots;
  for (const std::string& folder : folders) {
    if (std::none_of(roots.begin(), roots.end(),
                     [&](const std::string& root) { return IsSameOrUnder(folder, root); }))
      roots.push_back(folder);
  }
  return roots;
}

int32_t ReadInteger(const std::string& file, const char* key, int32_t fallback) {
  const std::string text = ReadProfileString(kSection, key, "", file);
  const int32_t value = StrToIntDef(text, fallback);
  return value < 0 ? fallback : value;
}

}  // namespace

std::string TesselSettingsPath() {
  return AppDataFolder() + kSettingsFile;
}

TTesselSettings LoadTesselSettings() {
  const std::string file = TesselSettingsPath();
  TTesselSettings settings;
  settings.roots = RootFolders(ReadProfileString(kSection, "roots", HomeFolder(), file));
  for (const std::string& listed : SplitList(ReadProfileString(kSection, "exclude", "", file))) {
    const std::string item = FromNativePath(listed);
    if (item.find('/') == std::string::npos) {
      settings.excludes.push_back(item);
    } else if (const auto folder = NormalizeFolder(ExpandHome(item))) {
      settings.excludes.push_back(*folder);
    }
  }
  settings.maxWatches = static_cast<size_t>(ReadInteger(file, "maxwatches", 0));
  const int32_t seconds = std::max(1, ReadInteger(file, "rescanseconds", 10));
  settings.rescanInterval = std::chrono::seconds(seconds);
  return settings;
}

bool IsExcludedFolder(const TTesselSettings& settings, std::string_view path,
                      std::string_view name) {
  return std::any_of(
      settings.excludes.begin(), settings.excludes.end(), [&](const std::string& exclude) {
        return exclude.front() == '/' ? IsSameOrUnder(path, exclude) : exclude == name;
      });
}

}  // namespace webtessl
