#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace webtessl::testing_desktop {

// A temporary folder for one test, removed with everything in it when the object goes; while it
// lives, XDG_CONFIG_HOME points at its "config" subfolder, so the per-user files are the test's.
class TTestFolder {
 public:
  TTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wt-test-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    std::filesystem::create_directory(root_ + "/config");
    ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  }
  ~TTestFolder() {
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  const std::string& Root() const { return root_; }
  // Writes the per-user registry file.
  void WriteRegistry(const std::string& text) const {
    std::ofstream(root_ + "/config/hkcu.reg", std::ios::binary) << text;
  }

 private:
  std::string root_;
};

}  // namespace webtessl::testing_desktop
