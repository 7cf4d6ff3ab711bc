#include "search/DesktopLauncher.h"

#include <filesystem>
#include <sstream>
#include <vector>

#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Registry.h"

namespace webtessl {
namespace {

// Only a file counts as the program; a folder of that name does not.
bool ProgramFileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

std::vector<std::string> SplitAtBlanks(const std::string& parameters) {
  std::istringstream words(parameters);
  std::vector<std::string> arguments;
  for (std::string word; words >> word;) arguments.push_back(word);
  return arguments;
}

void Start(const std::string& program) {
  uint32_t exitCode = 0;
  RunProgram(program, kTrayParameters, exitCode, 0, false);  // a failed start is not reported
}

}  // namespace

bool LaunchDesktopApp() { return LaunchDesktopApp(ExtractFilePath(ProgramFilePath())); }

bool LaunchDesktopApp(const std::string& serverFolder) {
  std::string candidate = serverFolder + kDesktopProgramName;
  if (!ProgramFileExists(candidate)) {
    ReadInstallPath(candidate);
    if (!ProgramFileExists(candidate)) return false;
  }
  Start(candidate);
  return true;
}

void ReadInstallPath(std::string& path) {
  const auto key = TRegistryKey::OpenCurrentUser(kInstallKey);
  if (!key) return;
  std::string folder;
  if (const auto value = key->Value(kInstallPathValue)) {
    if (value->kind != TRegistryValue::TKind::Text) {
      throw ERegistryException(std::string("Invalid data type for '") + kInstallPathValue + "'");
    }
    folder = value->text;
  }
  path = folder + kPathDelimiter + kDesktopProgramName;
}

bool RunProgram(const std::string& path, const std::string& parameters, uint32_t& exitCode,
                uint32_t waitMs, bool hidden) {
  exitCode = 0;
  const TProcessStart start{path, SplitAtBlanks(parameters), ExtractFilePath(path), hidden};
  int code = 0;
  switch (StartProcess(start, waitMs, code)) {
    case TStartOutcome::Started:
      return true;
    case TStartOutcome::Finished:
      exitCode = static_cast<uint32_t>(code);
      return true;
    case TStartOutcome::Failed:
    case TStartOutcome::TimedOut:
      return false;
  }
  return false;
}

}  // namespace webtessl
