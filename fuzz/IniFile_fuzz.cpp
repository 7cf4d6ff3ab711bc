// The configuration reader on arbitrary file contents: every key of the program is read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "config/ConfigKeys.h"
#include "config/IniFile.h"
#include "platform/PrivateProfile.h"

using namespace webtessl;

namespace {

// The file the inputs are written to, removed when the fuzzer ends.
class FuzzFile {
 public:
  FuzzFile()
      : path_(std::filesystem::temp_directory_path() /
              ("webtessl-ini-fuzz-" + std::to_string(std::random_device{}()) + ".ini")) {}
  ~FuzzFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile fuzzFile;
  const std::string file = fuzzFile.Path();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const TIniFile ini(file);
  ini.ReadInteger(kSectionServer, kKeyPort, kDefaultPort);
  ini.ReadInteger(kSectionSettings, kKeyDefaultPageSize, kDefaultPageSize);
  ini.ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload);
  size_t total = 0;
  for (const std::string& item : ini.ReadList(kSectionSettings, kKeyDirs)) total += item.size();
  if (total > kProfileValueMaxLength) std::abort();
  if (ini.ReadString(kSectionSettings, kKeyExcludeDirs, "").size() > kProfileValueMaxLength) {
    std::abort();
  }
  return 0;
}
