#include "app/MainSequence.h"

#include <cstdio>
#include <exception>
#include <string>

#include "app/CommandLine.h"
#include "app/ConfigPath.h"
#include "app/ConsoleLoop.h"
#include "app/FailureReport.h"
#include "app/ProgramInfo.h"
#include "app/ServerAssembly.h"
#include "common/ControlEscape.h"
#include "common/Exception.h"
#include "config/ConfigKeys.h"
#include "config/IniFile.h"
#include "log/ConsoleLog.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/PasswordHash.h"

namespace webtessl {
namespace {

constexpr const char* kHashPasswordOption = "-hashpassword";
constexpr const char* kPasswordPrompt = "Password for [server] password (not shown): ";
constexpr const char* kLogConfigMissing =
    "Configuration file %s not found: the server starts with its defaults";

// The configuration path: the default one, unless the command line names another.
std::string SettleConfigPath(const TCommandLine& commandLine) {
  std::string path = DefaultConfigPath();
  if (std::optional<std::string> given = commandLine.ConfigPath()) path = std::move(*given);
  return path;
}

// Serves until the operator stops the program. The server's start and stop sequences wrap the
// console loop here, the stop sequence running also when an error passes (before it is reported).
// startFailed tells whether the error came from the start sequence.
void Serve(const TIniFile& configuration, TConsoleInput& console, bool& startFailed) {
  TServerAssembly assembly(configuration);
  try {
    startFailed = true;
    assembly.Start();
    startFailed = false;
    RunConsoleLoop(console);
  } catch (...) {
    assembly.Stop();
    throw;
  }
  assembly.Stop();
}

// A configuration file named on the command line that is not there is most likely a typing
// error: the operator hears of it, and the server starts on its defaults.
void SayWhenMissing(const TCommandLine& commandLine, const std::string& path) {
  if (commandLine.ConfigPath() && !FileFacts(path)) {
    ConsoleLogFmt(kLogConfigMissing, EscapeControlBytes(path).c_str());
  }
}

// Writes the report line; when even the console cannot take it there is nowhere left to report.
void Report(const std::exception& error) noexcept {
  try {
    ConsoleLog(FailureReport(error));
  } catch (const std::exception&) {
  }
}

// Asks for a password on the terminal and prints the configuration line that holds its hash.
int PrintPasswordHash() {
  try {
    std::fputs(kPasswordPrompt, stderr);
    const std::string password = ReadSecretLine();
    std::fputs("\n", stderr);
    if (password.empty()) throw EInOutError("the password is empty");
    const std::string hash = HashPassword(password);
    if (hash.empty()) throw EInOutError("this system offers no password hashing");
    ConsoleLog(std::string(kKeyPassword) + "=" + hash);
    return kExitCodeStopped;
  } catch (const std::exception& error) {
    Report(error);
    return kExitCodeStartupFailed;
  }
}

// Prints the help or version text instead of serving; fails when standard output cannot take it
// (a full disk, a closed pipe), so that a script can tell.
int PrintInformation(TInformation information) {
  const std::string text = InformationText(information);
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return written && std::fflush(stdout) == 0 ? kExitCodeStopped : kExitCodeInformationUnwritten;
}

}  // namespace

int RunMainSequence(int argc, const char* const* argv) {
  IgnoreBrokenPipeSignal();
  const TCommandLine given(argc, argv);
  if (given.HasOption(kHashPasswordOption)) return PrintPasswordHash();
  bool startFailed = false;
  try {
    const TCommandLine commandLine(argc, argv);
    if (const std::optional<TInformation> asked = commandLine.InformationAsked())
      return PrintInformation(*asked);
    const TBatchedConsoleLog batchedLog;  // written out before a failure is reported
    TConsoleInput console;
    const TIniFile configuration(SettleConfigPath(commandLine));
    SayWhenMissing(commandLine, configuration.FileName());
    Serve(configuration, console, startFailed);
  } catch (const std::exception& error) {
    Report(error);
  }
  // A server that never started (its port taken, say) is a failed start-up, which a service
  // manager or a script must be able to tell from a clean stop.
  return startFailed ? kExitCodeStartupFailed : kExitCodeStopped;
}

}  // namespace webtessl
