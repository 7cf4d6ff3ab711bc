#include "platform/Process.h"

#include "platform/posix/Interrupted.h"
#include "platform/posix/UniqueFd.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace webtessl {
namespace {

constexpr int kExecFailedCode = 127;
constexpr int kSignalCodeBase = 128;
constexpr int kLastStandardSignal = 31;

struct TPipe {
  TUniqueFd read;
  TUniqueFd write;
};

bool OpenPipe(TPipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  pipe.read.Reset(fds[0]);
  pipe.write.Reset(fds[1]);
  return true;
}

// The argument vector of execv, pointing into `start`, which must outlive it.
std::vector<char*> ArgumentVector(const TProcessStart& start) {
  std::vector<char*> argv{const_cast<char*>(start.program.c_str())};
  for (const auto& argument : start.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

void RetryWaitPid(pid_t pid, int& status) {
  RetryInterrupted([&] { return ::waitpid(pid, &status, 0); });
}

// In a forked child, so only async-signal-safe calls: gives the program clean signals, its
// folder and /dev/null as input and output, then runs it. When that fails, the error number goes
// to `errorFd` (closed by a successful exec).
[[noreturn]] void ExecProgram(const TProcessStart& start, char* const argv[], int errorFd) {
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  for (int signal = 1; signal <= kLastStandardSignal; ++signal) {
    ::sigaction(signal, &defaultAction, nullptr);
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Whatever this process has open stays here, even a descriptor some library opened without
  // close-on-exec; the error pipe stays usable until the exec.
  ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
  const int devNull = ::open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    if (devNull > STDOUT_FILENO) ::close(devNull);
  }
  if (start.workingFolder.empty() || ::chdir(start.workingFolder.c_str()) == 0) {
    ::execv(start.program.c_str(), argv);
  }
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(errorFd, &error, sizeof error);
  ::_exit(kExecFailedCode);
}

// In the forked watcher: starts the program, waits for it and reports its wait status.
[[noreturn]] void WatchProgram(const TProcessStart& start, char* const argv[], TPipe& exec,
                               int statusFd) {
  const pid_t program = ::fork();
  if (program == 0) ExecProgram(start, argv, exec.write.Get());
  exec.write.Reset();
  if (program < 0) ::_exit(1);
  int status = 0;
  RetryWaitPid(program, status);
  [[maybe_unused]] const ssize_t written = ::write(statusFd, &status, sizeof status);
  ::_exit(0);
}

// True when the exec succeeded: the error pipe closed without a word; else errno tells why not.
bool ExecSucceeded(int errorFd) {
  int error = 0;
  const ssize_t got = RetryInterrupted([&] { return ::read(errorFd, &error, sizeof error); });
  if (got == static_cast<ssize_t>(sizeof error)) errno = error;
  return got == 0;
}

TStartOutcome AwaitStatus(int statusFd, uint32_t waitMs, int& exitCode) {
  pollfd entry{statusFd, POLLIN, 0};
  const int ready = RetryInterrupted(
      [&] { return ::poll(&entry, 1, static_cast<int>(std::min<uint32_t>(waitMs, INT32_MAX))); });
  if (ready == 0) return TStartOutcome::TimedOut;
  int status = 0;
  if (::read(statusFd, &status, sizeof status) != sizeof status) return TStartOutcome::Failed;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : kSignalCodeBase + WTERMSIG(status);
  return TStartOutcome::Finished;
}

}  // namespace

// The program runs as a grandchild in a new session: the intermediate child ends at once and is
// reaped here, so the program belongs to init, which reaps it. When the caller waits, a watcher
// process sits between them to pass the program's exit status back through a pipe.
TStartOutcome StartProcess(const TProcessStart& start, uint32_t waitMs, int& exitCode) {
  TPipe exec;
  TPipe status;
  if (!OpenPipe(exec) || !OpenPipe(status)) return TStartOutcome::Failed;
  const std::vector<char*> argv = ArgumentVector(start);
  const pid_t intermediate = ::fork();
  if (intermediate == 0) {
    ::setsid();
    const pid_t worker = ::fork();
    if (worker == 0) {
      if (waitMs == 0) ExecProgram(start, argv.data(), exec.write.Get());
      WatchProgram(start, argv.data(), exec, status.write.Get());
    }
    ::_exit(worker < 0 ? 1 : 0);
  }
  exec.write.Reset();
  status.write.Reset();
  if (intermediate < 0) return TStartOutcome::Failed;
  int intermediateStatus = 0;
  RetryWaitPid(intermediate, intermediateStatus);
  if (!WIFEXITED(intermediateStatus) || WEXITSTATUS(intermediateStatus) != 0 ||
      !ExecSucceeded(exec.read.Get())) {
    return TStartOutcome::Failed;
  }
  if (waitMs == 0) return TStartOutcome::Started;
  return AwaitStatus(status.read.Get(), waitMs, exitCode);
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(::getpid());
}

}  // namespace webtessl
