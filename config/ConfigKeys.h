#pragma once

#include <cstdint>

namespace webtessl {

// Every section and key of the configuration file, with its default. The port is read once at
// start-up; the "settings" keys are read by the handlers on every request.

constexpr char kConfigFileFolder[] = "WebTessl";
constexpr char kConfigFileName[] = "config.ini";

constexpr char kSectionServer[] = "server";
constexpr char kKeyPort[] = "port";
constexpr int32_t kDefaultPort = 20800;

constexpr char kSectionSettings[] = "settings";
constexpr char kKeyDirs[] = "dirs";                // list, empty by default
constexpr char kKeyExcludeDirs[] = "excludedirs";  // list, empty by default
constexpr char kKeyDefaultPageSize[] = "defaultpagesize";
constexpr int32_t kDefaultPageSize = 25;
constexpr char kKeyEnableDownload[] = "enabledownload";
constexpr bool kDefaultEnableDownload = true;

}  // namespace webtessl
