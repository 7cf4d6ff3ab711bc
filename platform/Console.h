#pragma once

#include <memory>
#include <string>

namespace webtessl {

// The character that stops the program: Ctrl+W.
constexpr int kStopKey = 23;
// What reading gives at the end of input, on every call.
constexpr int kEndOfInputChar = 26;

// True when standard output is a terminal (a console window) rather than a file or a pipe.
// Thread-safe.
bool StandardOutputIsTerminal();

// Makes a write to a pipe whose reader has gone fail with an error instead of ending the
// process, so that a console piped into a program that quits (`| head`) cannot stop the server.
// Call once at start-up, before any thread starts. Nothing to do where no such signal exists.
void IgnoreBrokenPipeSignal();

// One line of standard input without its line end, not shown while it is typed when standard
// input is a terminal (for a password). Raises EInOutError when nothing can be read.
std::string ReadSecretLine();

// Standard input as the operator's stop channel. While an instance lives, a terminal on standard
// input has its word-erase character switched off, so that Ctrl+W then Enter reaches the program,
// and SIGTERM counts as the stop key; both are restored when it goes. An interrupt (Ctrl+C) still
// ends the process at once, after the terminal is restored. One instance per process, used by
// the main thread only.
class TConsoleInput {
 public:
  // Raises EInOutError when the stop channel cannot be set up.
  TConsoleInput();
  ~TConsoleInput();
  TConsoleInput(const TConsoleInput&) = delete;
  TConsoleInput& operator=(const TConsoleInput&) = delete;

  // The next character of standard input, waiting for it; kEndOfInputChar at and after the end
  // of input; kStopKey as soon as SIGTERM has arrived. Raises EInOutError when standard input
  // cannot be read.
  int ReadChar();

 private:
  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace webtessl
