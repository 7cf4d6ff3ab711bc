// Win32 backend of platform/Console.h: standard input read byte by byte. A console delivers a
// typed line when Enter is pressed, Ctrl+W included as the character 23; no console control
// handler is installed, so Ctrl+C and Ctrl+Break end the process at once.

#include "platform/Console.h"

#include "platform/win32/WinApi.h"

#include <string>

#include "common/Exception.h"

namespace webtessl {

class TConsoleInput::TImpl {
 public:
  TImpl() : input_(::GetStdHandle(STD_INPUT_HANDLE)) {}

  int ReadChar() {
    if (endOfInput_) return kEndOfInputChar;
    if (input_ == nullptr || input_ == INVALID_HANDLE_VALUE) return EndOfInput();
    unsigned char byte = 0;
    DWORD got = 0;
    if (::ReadFile(input_, &byte, 1, &got, nullptr) != FALSE) {
      return got == 1 ? byte : EndOfInput();  // a successful read of nothing is the end
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return EndOfInput();
    throw EInOutError("I/O error " + std::to_string(error));
  }

 private:
  int EndOfInput() {
    endOfInput_ = true;
    return kEndOfInputChar;
  }

  const HANDLE input_;  // not owned: the process's standard input
  bool endOfInput_ = false;
};

std::string ReadSecretLine() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode) != FALSE;
  if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  char c = 0;
  DWORD count = 0;
  BOOL read = FALSE;
  while ((read = ::ReadFile(input, &c, 1, &count, nullptr)) != FALSE && count == 1 && c != '\n') {
    line += c;
  }
  if (console) ::SetConsoleMode(input, mode);
  if (read == FALSE || (count == 0 && line.empty())) {
    throw EInOutError("reading the password: end of input");
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void IgnoreBrokenPipeSignal() {
  // A broken pipe is a plain write error on Windows.
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

TConsoleInput::TConsoleInput() : impl_(std::make_unique<TImpl>()) {}

TConsoleInput::~TConsoleInput() = default;

int TConsoleInput::ReadChar() {
  return impl_->ReadChar();
}

}  // namespace webtessl
