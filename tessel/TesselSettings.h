#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace webtessl {

// What tessel indexes and how it keeps the index fresh: section "index" of
// $XDG_CONFIG_HOME/Tessel/tessel.ini.
//   roots          folders to index, separated by ";" (default: the home folder; "~/" allowed)
//   exclude        folders left out, separated by ";": a full path, or a bare name that leaves out
//                  every folder of that name
//   maxwatches     most folders watched for changes (0, the default: as many as the system allows)
//   rescanseconds  how often folders that cannot be watched are read again (default 10)
struct TTesselSettings {
  std::vector<std::string> roots;     // normalized absolute folders, none inside another
  std::vector<std::string> excludes;  // normalized absolute folders, or bare names
  size_t maxWatches = 0;
  std::chrono::milliseconds rescanInterval{10000};
};

// The settings file's path.
std::string TesselSettingsPath();

// Reads the settings file; missing values give the defaults. Thread-safe.
TTesselSettings LoadTesselSettings();

// Whether the folder at path (normalized), named name, is left out by the settings.
bool IsExcludedFolder(const TTesselSettings& settings, std::string_view path,
                      std::string_view name);

}  // namespace webtessl
