#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace webtessl::bench {

// What a program run to its end left behind.
struct TRunResult {
  int exitCode = -1;  // -1 when it could not start or did not exit normally
  std::string output;  // standard output
  std::string errors;  // standard error
  double seconds = 0;  // wall time from start to its end, reading its output included
};

// Runs a program (argv[0] a path) with this process's environment and waits for it.
TRunResult RunProgram(const std::vector<std::string>& argv);

// A program left running in the background, with `environment` ("NAME=value") added to this
// process's own and its standard output and error appended to `logPath`. Stopped with SIGTERM
// (SIGKILL after a grace period) and reaped when the object goes. Not copyable; one thread.
class TBackgroundProcess {
 public:
  TBackgroundProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                     const std::string& logPath);
  TBackgroundProcess(const TBackgroundProcess&) = delete;
  TBackgroundProcess& operator=(const TBackgroundProcess&) = delete;

  // The process id, or -1 when the program could not be started.
  pid_t Pid() const { return child_.Pid(); }
  // Whether it is still running (false once it has ended; it is reaped then).
  bool Running() { return child_.Running(); }

 private:
  testing_support::TChildProcess child_;
};

// Resident memory of a process, from /proc: now (VmRSS) and at its peak (VmHWM); 0 when unknown.
struct TResidentMemory {
  uint64_t currentBytes = 0;
  uint64_t peakBytes = 0;
};
TResidentMemory ReadResidentMemory(pid_t pid);

}  // namespace webtessl::bench
