#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace webtessl::testing_support {

// A fresh folder below the system's temporary folder, removed with everything in it when the
// object goes. Not thread-safe.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("webtessl-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // The full path of name inside the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Writes content, byte for byte, to the named file in the folder and returns its full path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = File(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    EXPECT_TRUE(out.good()) << file;
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace webtessl::testing_support
