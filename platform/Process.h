#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace webtessl {

// How to start a program: its file, its arguments (without the program itself), the folder it
// starts in, and whether its window is hidden (Windows only; nothing shows here either way).
struct TProcessStart {
  std::string program;
  std::vector<std::string> arguments;
  std::string workingFolder;
  bool hidden = false;
};

enum class TStartOutcome {
  Failed,    // the program could not be started
  Started,   // started and not waited for
  Finished,  // started and ended within the wait; its exit code is set
  TimedOut,  // started, still running when the wait ended
};

// Starts the program in a session of its own, standard input and output on /dev/null (on
// Windows: through the shell, without error dialogs); it inherits no other descriptor of this
// process than standard error. Failed leaves the reason in errno. With
// waitMs 0 it is not waited for; otherwise waited for at most waitMs. Whatever happens, no
// started process is left as a zombie. Thread-safe.
TStartOutcome StartProcess(const TProcessStart& start, uint32_t waitMs, int& exitCode);

// The calling process's id. Thread-safe.
uint32_t CurrentProcessId();

}  // namespace webtessl
