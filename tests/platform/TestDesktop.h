#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/DesktopMessages.h"
#include "tests/support/EnvironmentScope.h"
#include "tests/support/TempFolder.h"

namespace webtessl::testing_desktop {

// A private desktop for one test, on either system: while the object lives, the desktop folder in
// force lies in a fresh temporary folder, made by the platform layer itself. The POSIX desktop is
// the folder $WEBTESSL_DESKTOP names; the Windows one lies in the user's temporary folder ($TMP).
class TTestDesktop {
 public:
  TTestDesktop() : pointer_(kVariable, VariableValue(root_)), folder_(DesktopFolder()) {
    EXPECT_FALSE(folder_.empty()) << "no usable desktop at " << DesktopFolderPath();
  }
  TTestDesktop(const TTestDesktop&) = delete;
  TTestDesktop& operator=(const TTestDesktop&) = delete;

  // The desktop folder, as the platform layer gives it.
  const std::string& Folder() const { return folder_; }

 private:
#ifdef _WIN32
  static constexpr char kVariable[] = "TMP";
  static std::string VariableValue(const testing_support::TempFolder& root) {
    return root.Path().string();
  }
#else
  static constexpr char kVariable[] = "WEBTESSL_DESKTOP";
  static std::string VariableValue(const testing_support::TempFolder& root) {
    return root.File("desktop");
  }
#endif

  const testing_support::TempFolder root_;
  const testing_support::EnvironmentScope pointer_;
  const std::string folder_;
};

// Polls `condition` every few milliseconds until it holds or 10 seconds pass.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

inline long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

}  // namespace webtessl::testing_desktop
