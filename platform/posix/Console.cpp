#include "platform/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "platform/posix/Interrupted.h"
#include "platform/posix/PipeSignal.h"

namespace webtessl {
namespace {

constexpr int kStandardInput = STDIN_FILENO;
constexpr int kWaitForever = -1;
// How often a terminal is checked for having come to the foreground.
constexpr int kTerminalRecheckMs = 200;
// Signals that end the process at once; the terminal is put back before they do.
constexpr std::array<int, 3> kEndingSignals = {SIGINT, SIGQUIT, SIGHUP};

// Shared with the signal handlers, which may only touch plain data.
volatile sig_atomic_t g_stopPipeWrite = -1;
termios g_savedTerminal{};

[[noreturn]] void RaiseInOutError(const std::string& action) {
  throw EInOutError(action + ": " + std::strerror(errno));
}

void OnStopSignal(int /*signal*/) {
  const int savedErrno = errno;
  const char wake = 1;
  [[maybe_unused]] const ssize_t ignored = write(g_stopPipeWrite, &wake, 1);
  errno = savedErrno;
}

// Puts the terminal back, then lets the signal end the process as it would have without us
// (the handler was installed with SA_RESETHAND, so the raised signal takes its default action).
void OnEndingSignal(int signal) {
  tcsetattr(kStandardInput, TCSANOW, &g_savedTerminal);
  raise(signal);
}

// One installed signal handler; the previous action comes back when it goes.
class TSignalHandler {
 public:
  TSignalHandler(int signal, void (*handler)(int), int flags) : signal_(signal) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal_, &action, &previous_) != 0) RaiseInOutError("sigaction");
  }
  ~TSignalHandler() { sigaction(signal_, &previous_, nullptr); }
  TSignalHandler(const TSignalHandler&) = delete;
  TSignalHandler& operator=(const TSignalHandler&) = delete;

 private:
  const int signal_;
  struct sigaction previous_ {};
};

// True when the process was started with the signal ignored (a background job of a script, or
// under nohup); such a signal must go on being ignored.
bool IsIgnored(int signal) {
  struct sigaction current {};
  return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// A pipe that the SIGTERM handler writes to and the console reader waits on.
class TStopPipe {
 public:
  TStopPipe() {
    if (pipe2(ends_.data(), O_CLOEXEC | O_NONBLOCK) != 0) RaiseInOutError("pipe");
    g_stopPipeWrite = ends_[1];
  }
  ~TStopPipe() {
    g_stopPipeWrite = -1;
    close(ends_[0]);
    close(ends_[1]);
  }
  TStopPipe(const TStopPipe&) = delete;
  TStopPipe& operator=(const TStopPipe&) = delete;

  int ReadEnd() const { return ends_[0]; }

  // True when a stop was requested since the last call.
  bool Take() const {
    char drained[16];
    bool requested = false;
    while (read(ends_[0], drained, sizeof drained) > 0) requested = true;
    return requested;
  }

 private:
  std::array<int, 2> ends_{-1, -1};
};

// The terminal on standard input, if there is one. Switches off its word-erase character while
// this process may change it (in the foreground), so that Ctrl+W arrives as a character, and puts
// the settings back when it goes.
class TTerminalInput {
 public:
  TTerminalInput() : isTerminal_(isatty(kStandardInput) == 1) { SwitchWordEraseOff(); }
  ~TTerminalInput() {
    if (changed_) tcsetattr(kStandardInput, TCSANOW, &g_savedTerminal);
  }
  TTerminalInput(const TTerminalInput&) = delete;
  TTerminalInput& operator=(const TTerminalInput&) = delete;

  bool IsTerminal() const { return isTerminal_; }

  // True while another process group has the terminal: reading it now would stop this process.
  bool InBackground() const {
    if (!isTerminal_) return false;
    const pid_t foreground = tcgetpgrp(kStandardInput);
    return foreground != -1 && foreground != getpgrp();
  }

  // Switches word-erase off once the process is in the foreground; later calls do nothing.
  void SwitchWordEraseOff() {
    if (!isTerminal_ || settled_ || InBackground()) return;
    settled_ = true;
    if (tcgetattr(kStandardInput, &g_savedTerminal) != 0) return;
    termios changed = g_savedTerminal;
    changed.c_cc[VWERASE] = _POSIX_VDISABLE;
    for (int signal : kEndingSignals) {
      if (IsIgnored(signal)) continue;
      handlers_.push_back(std::make_unique<TSignalHandler>(signal, OnEndingSignal, SA_RESETHAND));
    }
    changed_ = tcsetattr(kStandardInput, TCSANOW, &changed) == 0;
  }

 private:
  const bool isTerminal_;
  std::vector<std::unique_ptr<TSignalHandler>> handlers_;
  bool settled_ = false;
  bool changed_ = false;
};

}  // namespace

class TConsoleInput::TImpl {
 public:
  TImpl() : stopHandler_(SIGTERM, OnStopSignal, SA_RESTART) {}

  int ReadChar() {
    for (;;) {
      if (endOfInput_) return stopPipe_.Take() ? kStopKey : kEndOfInputChar;
      terminal_.SwitchWordEraseOff();
      // A terminal is watched only while the process has it; in the background only a stop
      // request can come, and the foreground is checked again now and then.
      const bool readable = !terminal_.InBackground();
      std::array<pollfd, 2> watched = {pollfd{stopPipe_.ReadEnd(), POLLIN, 0},
                                       pollfd{readable ? kStandardInput : -1, POLLIN, 0}};
      const int wait = terminal_.IsTerminal() ? kTerminalRecheckMs : kWaitForever;
      if (RetryInterrupted([&] { return poll(watched.data(), watched.size(), wait); }) < 0) {
        RaiseInOutError("poll");
      }
      if (stopPipe_.Take()) return kStopKey;
      if (const std::optional<int> c = ReadReadyInput(watched[1].revents)) return *c;
    }
  }

 private:
  // Reads one byte once poll reported standard input; nothing when there was none after all.
  // Standard input that is not open, or not open for reading, counts as ended.
  std::optional<int> ReadReadyInput(short events) {
    if (events == 0) return std::nullopt;
    unsigned char byte = 0;
    const ssize_t got = (events & POLLNVAL) != 0
                            ? 0
                            : RetryInterrupted([&] { return read(kStandardInput, &byte, 1); });
    if (got == 1) return byte;
    if (got == 0 || errno == EBADF) {
      endOfInput_ = true;
      return kEndOfInputChar;
    }
    if (errno == EAGAIN) return std::nullopt;
    RaiseInOutError("read");
  }

  TStopPipe stopPipe_;
  TSignalHandler stopHandler_;
  TTerminalInput terminal_;
  bool endOfInput_ = false;
};

std::string ReadSecretLine() {
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  char c = 0;
  ssize_t count = 0;
  while ((count = read(STDIN_FILENO, &c, 1)) == 1 && c != '\n') line += c;
  const int error = errno;
  if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (count < 0) throw EInOutError(std::string("reading the password: ") + std::strerror(error));
  if (count == 0 && line.empty()) throw EInOutError("reading the password: end of input");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void IgnoreBrokenPipeSignal() {
  IgnoreBrokenPipeForGood();
}

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

TConsoleInput::TConsoleInput() : impl_(std::make_unique<TImpl>()) {}

TConsoleInput::~TConsoleInput() = default;

int TConsoleInput::ReadChar() {
  return impl_->ReadChar();
}

}  // namespace webtessl
