#pragma once

// A child process for the program tests: its standard input and output are pipes, so a test can
// type keys, read the trace, signal it and collect its exit code.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace webtessl::testing {

class TChildProcess {
 public:
  explicit TChildProcess(const std::vector<std::string>& arguments) {
    int input[2];
    int output[2];
    if (::pipe(input) != 0 || ::pipe(output) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(input[0], STDIN_FILENO);
      ::dup2(output[1], STDOUT_FILENO);
      // Only the standard descriptors stay, so that a program the child starts in turn does not
      // keep the test's pipes open after the child has ended.
      for (const int end : {input[0], input[1], output[0], output[1]}) {
        if (end > STDERR_FILENO) ::close(end);
      }
      std::vector<char*> argv;
      for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    stdin_ = input[1];
    stdout_ = output[0];
  }
  ~TChildProcess() {
    if (pid_ > 0 && !exitCode_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) ::close(stdin_);
    if (stdout_ >= 0) ::close(stdout_);
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void Type(const std::string& text) { (void)!::write(stdin_, text.data(), text.size()); }
  void Signal(int signal) { ::kill(pid_, signal); }

  // Reads standard output until it holds the text (true) or waitMs pass (false).
  bool WaitForOutput(const std::string& text, int waitMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
    return true;
  }

  // Waits for the process to end and reads the rest of its output; its exit code, or nothing
  // when it did not end normally within waitMs.
  std::optional<int> Wait(int waitMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      ReadSome(20);
    }
    while (ReadSome(100)) {
    }
    if (WIFEXITED(status))
      exitCode_ = WEXITSTATUS(status);
    else
      exitCode_ = -1;
    return WIFEXITED(status) ? exitCode_ : std::nullopt;
  }

  const std::string& Output() const { return output_; }
  // Stops reading the child's output for good: its next writes find no reader (a `| head` that
  // has quit).
  void CloseOutput() {
    if (stdout_ >= 0) ::close(stdout_);
    stdout_ = -1;
  }

  // Takes in whatever output is waiting, without waiting for more, so that a chatty child never
  // blocks on a full pipe between the test's looks at its output.
  void ReadWaitingOutput() {
    while (ReadSome(0)) {
    }
  }

 private:
  bool ReadSome(int waitMs) {
    pollfd entry{stdout_, POLLIN, 0};
    if (::poll(&entry, 1, waitMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(stdout_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string output_;
  std::optional<int> exitCode_;
};

}  // namespace webtessl::testing
