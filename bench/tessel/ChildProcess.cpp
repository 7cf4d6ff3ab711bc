#include "bench/tessel/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace webtessl::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStopGrace = std::chrono::seconds(10);
constexpr auto kStopPoll = std::chrono::milliseconds(10);
constexpr uint64_t kKibibyte = 1024;

// A pipe whose ends are closed when the object goes.
class TPipe {
 public:
  TPipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  ~TPipe() {
    CloseWriteEnd();
    if (fds_[0] >= 0) ::close(fds_[0]);
  }
  TPipe(const TPipe&) = delete;
  TPipe& operator=(const TPipe&) = delete;
  int ReadEnd() const { return fds_[0]; }
  int WriteEnd() const { return fds_[1]; }
  void CloseWriteEnd() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2];
};

// The spawn argument vector of `argv`; the strings must outlive it.
std::vector<char*> ArgumentVector(std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (auto& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Reads both pipes until the program has closed them.
void Drain(TPipe& out, TPipe& err, std::string& output, std::string& errors) {
  pollfd entries[2] = {{out.ReadEnd(), POLLIN, 0}, {err.ReadEnd(), POLLIN, 0}};
  std::string* targets[2] = {&output, &errors};
  int open = 2;
  while (open > 0) {
    if (::poll(entries, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (entries[i].fd < 0 || entries[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(entries[i].fd, chunk, sizeof chunk);
      if (got > 0) {
        targets[i]->append(chunk, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        entries[i].fd = -1;
        --open;
      }
    }
  }
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// The value, in bytes, of a "Name:   1234 kB" line of /proc/PID/status.
uint64_t StatusKibibytes(const std::string& status, const std::string& name) {
  const size_t at = status.find("\n" + name + ":");
  if (at == std::string::npos) return 0;
  return std::stoull(status.substr(at + name.size() + 2)) * kKibibyte;
}

}  // namespace

TRunResult RunProgram(const std::vector<std::string>& argv) {
  TRunResult result;
  TPipe out, err;
  if (out.ReadEnd() < 0 || err.ReadEnd() < 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out.WriteEnd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.WriteEnd(), STDERR_FILENO);
  std::vector<std::string> arguments = argv;
  std::vector<char*> pointers = ArgumentVector(arguments);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  out.CloseWriteEnd();
  err.CloseWriteEnd();
  if (spawned != 0) return result;
  Drain(out, err, result.output, result.errors);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.exitCode = ExitCodeOf(status);
  return result;
}

TBackgroundProcess::TBackgroundProcess(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& environment,
                                       const std::string& logPath) {
  std::vector<std::string> variables = environment;
  for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
  std::vector<char*> environmentPointers = ArgumentVector(variables);
  std::vector<std::string> arguments = argv;
  std::vector<char*> pointers = ArgumentVector(arguments);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (::posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(),
                    environmentPointers.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
}

TBackgroundProcess::~TBackgroundProcess() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + kStopGrace;
  while (Running() && Clock::now() < deadline) std::this_thread::sleep_for(kStopPoll);
  if (!Running()) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool TBackgroundProcess::Running() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, nullptr, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

TResidentMemory ReadResidentMemory(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  std::stringstream text;
  text << file.rdbuf();
  const std::string status = "\n" + text.str();
  return {StatusKibibytes(status, "VmRSS"), StatusKibibytes(status, "VmHWM")};
}

}  // namespace webtessl::bench
