#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace webtessl::testing_desktop {

// A private desktop folder for one test: WEBTESSL_DESKTOP points at it while the object lives.
class TTestDesktop {
 public:
  TTestDesktop() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wt-desk-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    ::setenv("WEBTESSL_DESKTOP", folder_.c_str(), 1);
  }
  ~TTestDesktop() {
    ::unsetenv("WEBTESSL_DESKTOP");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TTestDesktop(const TTestDesktop&) = delete;
  TTestDesktop& operator=(const TTestDesktop&) = delete;
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
};

// A forked child process that runs one function and exits with its result. Fork before the test
// creates windows or threads of its own, so the child starts clean. Killed and reaped when the
// object goes, if still running.
class TChildProcess {
 public:
  explicit TChildProcess(const std::function<int()>& body) {
    pid_ = ::fork();
    if (pid_ == 0) ::_exit(body());
  }
  ~TChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits for the child and returns its exit code (-1 when it was killed by a signal).
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
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
