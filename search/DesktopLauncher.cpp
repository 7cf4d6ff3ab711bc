#include "search/DesktopLauncher.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "common/Mutex.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "search/ConsoleNotice.h"

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

// The console hears once why the application could not be started, and once more only after
// it started again meanwhile; a launch is tried at most once per interval, so that a program
// that fails to start is not spawned by every search.
class TLaunchGate {
 public:
  // Whether the program may be launched now; when so, its interval starts anew.
  bool Open(const std::string& program) {
    const TMutexLock lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const auto last = lastTries_.find(program);
    if (last != lastTries_.end() && now - last->second < kLaunchInterval) return false;
    if (lastTries_.size() >= kMaxPrograms) lastTries_.clear();
    lastTries_[program] = now;
    return true;
  }
  void Report(bool started, const std::string& why) {
    if (started) {
      notice_.Clear();
    } else {
      notice_.Say(why);
    }
  }

 private:
  static constexpr std::chrono::seconds kLaunchInterval{5};
  static constexpr size_t kMaxPrograms = 16;
  TMutex mutex_;
  std::map<std::string, std::chrono::steady_clock::time_point> lastTries_ GUARDED_BY(mutex_);
  TConsoleNotice notice_;
};

TLaunchGate& LaunchGate() {
  static TLaunchGate gate;
  return gate;
}

void Start(const std::string& program) {
  uint32_t exitCode = 0;
  const bool started = RunProgram(program, kTrayParameters, exitCode, 0, false);
  const std::string reason = started ? std::string() : std::strerror(errno);
  LaunchGate().Report(started, "Cannot start " + program + ": " + reason);
}

// The program as an absolute path, so that the file checked is the one run (a relative path
// would be run from the program's own folder).
std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

}  // namespace

bool LaunchDesktopApp() { return LaunchDesktopApp(ExtractFilePath(ProgramFilePath())); }

bool LaunchDesktopApp(const std::string& serverFolder) {
  std::string candidate = serverFolder + kDesktopProgramName;
  if (!ProgramFileExists(candidate)) {
    ReadInstallPath(candidate);
    candidate = Absolute(candidate);
    if (!ProgramFileExists(candidate)) {
      LaunchGate().Report(false, "The desktop search application was not found: " + candidate);
      return false;
    }
  }
  if (LaunchGate().Open(candidate)) Start(candidate);
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
