#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace webtessl::testing_support {

// How a child program is started beside its arguments.
struct TChildSettings {
  std::vector<std::string> environment;  // "NAME=value", added to this process's own
  bool typedInput = false;   // standard input is a pipe the caller types into (else inherited)
  bool readOutput = true;    // standard output is collected in Output() (else inherited)
  bool readErrors = false;   // standard error is collected in Errors() (else inherited)
  std::string logPath;       // when set, standard output and error are appended to this file

  // Standard input a pipe to type into, standard output collected.
  static TChildSettings Typed() {
    TChildSettings settings;
    settings.typedInput = true;
    return settings;
  }
  // Standard error collected, standard output left to this process's own.
  static TChildSettings ErrorsOnly() {
    TChildSettings settings;
    settings.readOutput = false;
    settings.readErrors = true;
    return settings;
  }
  // Standard output and error both collected.
  static TChildSettings BothStreams() {
    TChildSettings settings;
    settings.readErrors = true;
    return settings;
  }
  // Standard output and error appended to the file, with the variables added.
  static TChildSettings LoggedTo(std::string path, std::vector<std::string> variables) {
    TChildSettings settings;
    settings.environment = std::move(variables);
    settings.logPath = std::move(path);
    return settings;
  }
};

// A program the tests or benchmarks run as a child process (arguments[0] its path), with this
// process's environment. What it writes to the collected streams is read whenever the caller
// waits for something, so a chatty child never blocks on a full pipe. When the object goes, a
// child still running gets SIGTERM, then SIGKILL if it lingers, and is reaped. Only this end's
// pipes reach the child, so a program it starts in turn does not hold them open. One thread.
class TChildProcess {
 public:
  static constexpr int kDefaultWaitMs = 10000;

  explicit TChildProcess(std::vector<std::string> arguments, TChildSettings settings = {});
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return pid_ > 0 || exitCode_.has_value(); }
  // The process id; -1 when it could not be started or has been reaped.
  pid_t Pid() const { return pid_; }
  void Signal(int signal) const;
  // Writes the text to the child's standard input (typedInput).
  void Type(std::string_view text) const;

  // Reads until Output() (or Errors()) holds the text (true) or waitMs pass (false).
  bool WaitForOutput(std::string_view text, int waitMs = kDefaultWaitMs);
  bool WaitForErrors(std::string_view text, int waitMs = kDefaultWaitMs);
  // The next line of standard output not taken before, without its line end; "" when none came
  // within waitMs.
  std::string NextLine(int waitMs = kDefaultWaitMs);
  // Stops reading standard output for good: the child's next writes find no reader, as when a
  // `| head` it writes to has quit.
  void CloseOutput();
  // Takes in whatever output is waiting, without waiting for more.
  void ReadWaitingOutput();

  // Waits for the child to end (waitMs < 0: for as long as it takes) and reads the rest of its
  // output: its exit code, -1 when a signal ended it, nothing when it still runs after waitMs.
  std::optional<int> Wait(int waitMs = kDefaultWaitMs);
  // Whether it still runs; reaps it once it has ended.
  bool Running();
  // Ends the child at once, as a crash would, and reaps it.
  void Kill();

  const std::string& Output() const { return output_; }
  const std::string& Errors() const { return errors_; }

 private:
  // Reads what the collected streams hold within waitMs (or notes that one ended); false when
  // nothing happened or no stream is left.
  bool ReadSome(int waitMs);
  bool WaitForText(const std::string& collected, std::string_view text, int waitMs);
  void Reap(int status);

  pid_t pid_ = -1;
  int input_ = -1;
  int outputPipe_ = -1;
  int errorsPipe_ = -1;
  std::string output_;
  std::string errors_;
  size_t lineStart_ = 0;  // where the next line of output_ begins
  std::optional<int> exitCode_;
};

}  // namespace webtessl::testing_support
