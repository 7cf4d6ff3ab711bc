#pragma once

#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace webtessl::testing_support {

// Starts the program (arguments[0]) with the calling process's environment, its standard stream
// `streamFd` (STDOUT_FILENO or STDERR_FILENO) going into a pipe. Returns the child's pid, or -1
// when it could not be started; readEnd receives the pipe's read end (-1 when none was made).
inline pid_t SpawnWithPipe(std::vector<std::string> arguments, int streamFd, int& readEnd) {
  readEnd = -1;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], streamFd);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  readEnd = pipeFds[0];
  return pid;
}

}  // namespace webtessl::testing_support
