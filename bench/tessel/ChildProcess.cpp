#include "bench/tessel/ChildProcess.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace webtessl::bench {
namespace {

constexpr uint64_t kKibibyte = 1024;

// The value, in bytes, of a "Name:   1234 kB" line of /proc/PID/status.
uint64_t StatusKibibytes(const std::string& status, const std::string& name) {
  const size_t at = status.find("\n" + name + ":");
  if (at == std::string::npos) return 0;
  return std::stoull(status.substr(at + name.size() + 2)) * kKibibyte;
}

}  // namespace

TRunResult RunProgram(const std::vector<std::string>& argv) {
  TRunResult result;
  const auto start = std::chrono::steady_clock::now();
  testing_support::TChildProcess program(argv, testing_support::TChildSettings::BothStreams());
  if (!program.Started()) return result;
  result.exitCode = program.Wait(-1).value_or(-1);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.output = program.Output();
  result.errors = program.Errors();
  return result;
}

TBackgroundProcess::TBackgroundProcess(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& environment,
                                       const std::string& logPath)
    : child_(argv, testing_support::TChildSettings::LoggedTo(logPath, environment)) {}

TResidentMemory ReadResidentMemory(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  std::stringstream text;
  text << file.rdbuf();
  const std::string status = "\n" + text.str();
  return {StatusKibibytes(status, "VmRSS"), StatusKibibytes(status, "VmHWM")};
}

}  // namespace webtessl::bench
