#pragma once

namespace webtessl {

// Exit code after the stop sequence, and also after a failure the main sequence reported.
constexpr int kExitCodeStopped = 0;
// Exit code when start-up fails before the main sequence runs.
constexpr int kExitCodeStartupFailed = 1;
// Exit code when the help or version text could not be written to standard output.
constexpr int kExitCodeInformationUnwritten = 1;

// The main sequence: "--help" or "--version" print their text and return at once; otherwise the
// argument list, the configuration path and reader, the server, and the console loop until the
// stop key (Ctrl+W, or SIGTERM); an error on the way stops the server and is reported on the
// console as "ClassName: message". Returns the exit code. Main thread only.
int RunMainSequence(int argc, const char* const* argv);

}  // namespace webtessl
