#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/SpawnWithPipe.h"

namespace webtessl::testing_peer {

// A running tessel_test_peer whose standard output the test reads line by line. Stopped
// (SIGTERM, then reaped) when the object goes.
class TPeerProcess {
 public:
  explicit TPeerProcess(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{WEBTESSL_TEST_PEER};
    arguments.insert(arguments.end(), options.begin(), options.end());
    pid_ = testing_support::SpawnWithPipe(std::move(arguments), STDOUT_FILENO, output_);
  }
  ~TPeerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
  }
  TPeerProcess(const TPeerProcess&) = delete;
  TPeerProcess& operator=(const TPeerProcess&) = delete;

  // The next line the peer printed, without its line end; "" when none came within 10 seconds.
  std::string NextLine() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      if (const size_t lineEnd = buffer_.find('\n'); lineEnd != std::string::npos) {
        std::string line = buffer_.substr(0, lineEnd);
        buffer_.erase(0, lineEnd + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd entry{output_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[256];
      const ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) return "";
      buffer_.append(chunk, static_cast<size_t>(got));
    }
  }
  // True once the peer's window is up.
  bool AwaitReady() { return NextLine().starts_with("ready "); }
  // Ends the peer at once, as a crash would: its window is left behind on the desktop.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // Waits for the peer to leave by itself; its exit code, -1 when it did not.
  int Wait() {
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffer_;
};

}  // namespace webtessl::testing_peer
