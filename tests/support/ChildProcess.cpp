#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace webtessl::testing_support {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopGraceMs = 5000;
constexpr int kReapPollMs = 20;
constexpr int kLastOutputMs = 100;  // silence after the end that says all output has been read

// A pipe made close-on-exec: only the end handed to the child as a standard stream reaches it.
bool MakePipe(int (&ends)[2]) {
  return ::pipe2(ends, O_CLOEXEC) == 0;
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The pointer vector a spawn takes; the strings must outlive it.
std::vector<char*> PointersOf(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

// The file actions of one start: a pipe end or the log file for each redirected stream. The
// parent closes the child's ends once the child has them.
class TSpawnActions {
 public:
  TSpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~TSpawnActions() {
    posix_spawn_file_actions_destroy(&actions_);
    for (int& end : childEnds_) CloseIfOpen(end);
  }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;

  // A pipe for the stream; the parent's end, or -1 when none could be made.
  int Pipe(int stream, bool parentWrites) {
    int ends[2];
    if (!MakePipe(ends)) return -1;
    const int childEnd = parentWrites ? ends[0] : ends[1];
    posix_spawn_file_actions_adddup2(&actions_, childEnd, stream);
    childEnds_.push_back(childEnd);
    return parentWrites ? ends[1] : ends[0];
  }
  void AppendTo(const std::string& path, int stream) {
    posix_spawn_file_actions_addopen(&actions_, stream, path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
  }
  void Duplicate(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
  void CloseChildEnds() {
    for (int& end : childEnds_) CloseIfOpen(end);
  }
  const posix_spawn_file_actions_t* Get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  std::vector<int> childEnds_;
};

}  // namespace

TChildProcess::TChildProcess(std::vector<std::string> arguments, TChildSettings settings) {
  if (arguments.empty()) return;
  TSpawnActions actions;
  if (settings.typedInput) input_ = actions.Pipe(STDIN_FILENO, true);
  if (!settings.logPath.empty()) {
    actions.AppendTo(settings.logPath, STDOUT_FILENO);
    actions.Duplicate(STDOUT_FILENO, STDERR_FILENO);
  } else {
    if (settings.readOutput) outputPipe_ = actions.Pipe(STDOUT_FILENO, false);
    if (settings.readErrors) errorsPipe_ = actions.Pipe(STDERR_FILENO, false);
  }
  std::vector<std::string> environment = std::move(settings.environment);
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  std::vector<char*> argv = PointersOf(arguments);
  std::vector<char*> envp = PointersOf(environment);
  if (::posix_spawn(&pid_, argv[0], actions.Get(), nullptr, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
  actions.CloseChildEnds();
}

TChildProcess::~TChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (!Wait(kStopGraceMs)) Kill();
  }
  CloseIfOpen(input_);
  CloseIfOpen(outputPipe_);
  CloseIfOpen(errorsPipe_);
}

void TChildProcess::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

void TChildProcess::Type(std::string_view text) const {
  if (input_ >= 0) (void)!::write(input_, text.data(), text.size());
}

bool TChildProcess::WaitForOutput(std::string_view text, int waitMs) {
  return WaitForText(output_, text, waitMs);
}

bool TChildProcess::WaitForErrors(std::string_view text, int waitMs) {
  return WaitForText(errors_, text, waitMs);
}

bool TChildProcess::WaitForText(const std::string& collected, std::string_view text, int waitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  while (collected.find(text) == std::string::npos) {
    const int left = MillisecondsLeft(deadline);
    if (left <= 0 || !ReadSome(left)) return false;
  }
  return true;
}

std::string TChildProcess::NextLine(int waitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (const size_t end = output_.find('\n', lineStart_); end != std::string::npos) {
      std::string line = output_.substr(lineStart_, end - lineStart_);
      lineStart_ = end + 1;
      return line;
    }
    const int left = MillisecondsLeft(deadline);
    if (left <= 0 || !ReadSome(left)) return "";
  }
}

void TChildProcess::CloseOutput() {
  CloseIfOpen(outputPipe_);
}

void TChildProcess::ReadWaitingOutput() {
  while (ReadSome(0)) {
  }
}

std::optional<int> TChildProcess::Wait(int waitMs) {
  if (pid_ <= 0) return exitCode_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  int status = 0;
  for (;;) {
    const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) break;
    if (reaped < 0 && errno != EINTR) return std::nullopt;
    if (waitMs >= 0 && Clock::now() >= deadline) return std::nullopt;
    if (!ReadSome(kReapPollMs) && outputPipe_ < 0 && errorsPipe_ < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kReapPollMs));
    }
  }
  while (ReadSome(kLastOutputMs)) {
  }
  Reap(status);
  return exitCode_;
}

bool TChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  Reap(status);
  return false;
}

void TChildProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  Reap(status);
}

void TChildProcess::Reap(int status) {
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
}

bool TChildProcess::ReadSome(int waitMs) {
  int* pipes[2] = {&outputPipe_, &errorsPipe_};
  std::string* targets[2] = {&output_, &errors_};
  pollfd entries[2] = {{outputPipe_, POLLIN, 0}, {errorsPipe_, POLLIN, 0}};
  if (outputPipe_ < 0 && errorsPipe_ < 0) return false;
  if (::poll(entries, 2, waitMs) <= 0) return false;  // negative descriptors are skipped
  bool progress = false;
  for (int i = 0; i < 2; ++i) {
    if (entries[i].fd < 0 || entries[i].revents == 0) continue;
    char chunk[4096];
    const ssize_t count = ::read(entries[i].fd, chunk, sizeof chunk);
    if (count > 0) {
      targets[i]->append(chunk, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      CloseIfOpen(*pipes[i]);  // the child closed it: nothing more comes
    }
    progress = true;
  }
  return progress;
}

}  // namespace webtessl::testing_support
