// Win32 backend of platform/Process.h: programs start through the shell (ShellExecuteExA), as
// the user's double click would start them.

#include "platform/Process.h"

#include "platform/win32/WinApi.h"

#include <shellapi.h>

namespace webtessl {
namespace {

// The process handle is wanted (to wait for it), and failures show no dialog.
constexpr ULONG kShellMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;

// One argument of a command line, quoted when it holds blanks or quotes, so that the program's
// runtime splits the line back into the same arguments.
std::string QuotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');  // before the closing quote
  return quoted + '"';
}

// The parameter text: every argument after a blank (" -tray" for the one argument "-tray").
std::string Parameters(const TProcessStart& start) {
  std::string parameters;
  for (const std::string& argument : start.arguments) parameters += ' ' + QuotedArgument(argument);
  return parameters;
}

TStartOutcome AwaitExit(HANDLE process, uint32_t waitMs, int& exitCode) {
  if (::WaitForSingleObject(process, waitMs) == WAIT_TIMEOUT) return TStartOutcome::TimedOut;
  DWORD code = 0;
  if (::GetExitCodeProcess(process, &code) == FALSE) return TStartOutcome::Failed;
  exitCode = static_cast<int>(code);
  return TStartOutcome::Finished;
}

}  // namespace

TStartOutcome StartProcess(const TProcessStart& start, uint32_t waitMs, int& exitCode) {
  const std::string parameters = Parameters(start);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = kShellMask;
  info.lpFile = start.program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = start.workingFolder.empty() ? nullptr : start.workingFolder.c_str();
  info.nShow = start.hidden ? SW_HIDE : SW_SHOWNORMAL;
  if (::ShellExecuteExA(&info) == FALSE) return TStartOutcome::Failed;
  const win32::TUniqueHandle process(info.hProcess);
  // The shell may hand the start to a running program and give no process to wait for.
  if (waitMs == 0 || !process) return TStartOutcome::Started;
  return AwaitExit(process.get(), waitMs, exitCode);
}

uint32_t CurrentProcessId() {
  return ::GetCurrentProcessId();
}

}  // namespace webtessl
