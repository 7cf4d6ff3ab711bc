#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace webtessl::testing_peer {

// A running tessel_test_peer whose standard output the test reads line by line. Stopped
// (SIGTERM, then reaped) when the object goes.
class TPeerProcess {
 public:
  explicit TPeerProcess(const std::vector<std::string>& options) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    std::vector<std::string> arguments{WEBTESSL_TEST_PEER};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    output_ = pipeFds[0];
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
