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
#include "config/IniFile.h"
#include "log/ConsoleLog.h"
#include "platform/Console.h"

namespace webtessl {
namespace {

// The configuration path: the default one, unless the command line names another.
std::string SettleConfigPath(const TCommandLine& commandLine) {
  std::string path = DefaultConfigPath();
  if (std::optional<std::string> given = commandLine.ConfigPath()) path = std::move(*given);
  return path;
}

// Serves until the operator stops the program. The server's start and stop sequences wrap the
// console loop here, the stop sequence running also when an error passes (before it is reported).
void Serve(const TIniFile& configuration, TConsoleInput& console) {
  TServerAssembly assembly(configuration);
  try {
    assembly.Start();
    RunConsoleLoop(console);
  } catch (...) {
    assembly.Stop();
    throw;
  }
  assembly.Stop();
}

// Writes the report line; when even the console cannot take it there is nowhere left to report.
void Report(const std::exception& error) noexcept {
  try {
    ConsoleLog(FailureReport(error));
  } catch (const std::exception&) {
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
  try {
    const TCommandLine commandLine(argc, argv);
    if (const std::optional<TInformation> asked = commandLine.InformationAsked())
      return PrintInformation(*asked);
    const TBatchedConsoleLog batchedLog;  // written out before a failure is reported
    TConsoleInput console;
    const TIniFile configuration(SettleConfigPath(commandLine));
    Serve(configuration, console);
  } catch (const std::exception& error) {
    Report(error);
  }
  return kExitCodeStopped;
}

}  // namespace webtessl
