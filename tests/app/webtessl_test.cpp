// Runs the real program as a child process and talks to it through its standard input, a pipe or
// a pseudo-terminal, the way an operator or a service manager does.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramInfo.h"
#include "tests/http/RawClient.h"
#include "tests/support/TempFolder.h"

extern char** environ;

namespace webtessl {
namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

constexpr auto kStopLimit = 1s;  // the program must stop within this of the stop key
constexpr auto kStartUpLimit = 2s;  // generous: the machine may be busy with other tests
const std::string kProgram = std::string(WEBTESSL_BUILD_DIR) + "/webtessl";

// The server's trace around a run on the given port, from start to stop.
std::string ServerLines(int port) {
  const std::string portText = std::to_string(port);
  return "Starting http server on port " + portText + "\nDone.\nStoping http server on port " +
         portText + "\nDone.\n";
}

// Both ends of a pipe, closed when it goes.
class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe2(ends_, O_CLOEXEC), 0); }
  ~Pipe() {
    CloseReadEnd();
    CloseWriteEnd();
  }
  int ReadEnd() const { return ends_[0]; }
  void Write(const std::string& bytes) {
    ASSERT_EQ(write(ends_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void CloseReadEnd() { CloseEnd(0); }
  void CloseWriteEnd() { CloseEnd(1); }

 private:
  void CloseEnd(int end) {
    if (ends_[end] >= 0) close(ends_[end]);
    ends_[end] = -1;
  }
  int ends_[2] = {-1, -1};
};

// Writes a configuration file that names a free loopback port, and returns the port.
int WriteConfigWithFreePort(const std::filesystem::path& file) {
  std::filesystem::create_directories(file.parent_path());
  const int port = testing::FreeLoopbackPort();
  std::ofstream(file) << "[server]\nport=" << port << "\n";
  return port;
}

// The program running as a child, with the given descriptor as its standard input, its output
// in a file and its application-data folder in a temporary folder whose configuration names a
// free port (so that runs never collide with each other or with a running server). Killed and
// reaped when the object goes, if it still runs.
class ProgramProcess {
 public:
  ProgramProcess(const TempFolder& folder, int standardInput,
                 const std::vector<std::string>& arguments = {})
      : outputFile_(folder.File("stdout.txt")),
        port_(WriteConfigWithFreePort(folder.Path() / "config" / "WebTessl" / "config.ini")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, standardInput, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argumentTexts = {kProgram};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> environmentTexts = {"XDG_CONFIG_HOME=" + folder.File("config")};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::string(*entry).rfind("XDG_CONFIG_HOME=", 0) != 0)
        environmentTexts.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& text : environmentTexts) envp.push_back(text.data());
    envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, kProgram.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProgramProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  int Port() const { return port_; }
  void Signal(int signal) const { kill(pid_, signal); }

  // Waits until the server has started (its first "Done." line), so that the stop key or a
  // signal reaches a program that is past its start-up.
  void WaitUntilStarted() const {
    const auto deadline = std::chrono::steady_clock::now() + kStartUpLimit;
    while (Output().find("Done.\n") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no start-up line: " << Output();
      std::this_thread::sleep_for(5ms);
    }
  }

  // The wait status once the program has ended, or nothing when it still runs after limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else if (std::chrono::steady_clock::now() >= deadline) {
        break;
      } else {
        std::this_thread::sleep_for(5ms);
      }
    }
    return status_;
  }

  std::string Output() const {
    std::ifstream in(outputFile_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  const std::string outputFile_;
  const int port_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Expects the program to end by itself with exit code 0 within limit.
void ExpectCleanExit(ProgramProcess& program, std::chrono::milliseconds limit) {
  const std::optional<int> status = program.WaitForExit(limit);
  ASSERT_TRUE(status.has_value()) << "still running";
  ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST(ProgramTest, StopKeyAndLineEndStopItWithExitCodeZero) {
  TempFolder folder;
  Pipe input;
  ProgramProcess program(folder, input.ReadEnd());
  program.WaitUntilStarted();
  input.Write("\x17\n");
  ExpectCleanExit(program, kStopLimit);
  EXPECT_EQ(program.Output(), ServerLines(program.Port()));
}

TEST(ProgramTest, StopsAtTheStopKeyAfterOtherCharactersOfTheLine) {
  TempFolder folder;
  Pipe input;
  const std::string config = folder.File("Other.ini");
  const int port = WriteConfigWithFreePort(config);
  ProgramProcess program(folder, input.ReadEnd(), {"-CONFIG", config});
  input.Write("status\n");
  program.WaitUntilStarted();
  EXPECT_NE(program.Output().find("port " + std::to_string(port) + "\n"), std::string::npos);
  EXPECT_FALSE(program.WaitForExit(0ms).has_value());
  input.Write("go \x17 rest\n");
  ExpectCleanExit(program, kStopLimit);
}

TEST(ProgramTest, EndOfInputKeepsItRunningUntilSigterm) {
  TempFolder folder;
  Pipe input;
  input.CloseWriteEnd();
  ProgramProcess program(folder, input.ReadEnd());
  program.WaitUntilStarted();
  EXPECT_FALSE(program.WaitForExit(200ms).has_value());
  program.Signal(SIGTERM);
  ExpectCleanExit(program, kStopLimit);
}

TEST(ProgramTest, SigtermWhileWaitingForInputRunsTheStopSequence) {
  TempFolder folder;
  Pipe input;
  ProgramProcess program(folder, input.ReadEnd());
  program.WaitUntilStarted();
  program.Signal(SIGTERM);
  ExpectCleanExit(program, kStopLimit);
}

TEST(ProgramTest, UnreadableInputIsReportedAsClassNameAndMessage) {
  TempFolder folder;
  const int directory = open(folder.Path().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(directory, 0);
  ProgramProcess program(folder, directory);
  close(directory);
  ExpectCleanExit(program, kStopLimit + kStartUpLimit);
  EXPECT_EQ(program.Output(), ServerLines(program.Port()) + "EInOutError: read: Is a directory\n");
}

TEST(ProgramTest, VersionAndHelpPrintTheirTextAndServeNothing) {
  TempFolder folder;
  Pipe input;
  ProgramProcess version(folder, input.ReadEnd(), {"--VERSION"});
  ExpectCleanExit(version, kStartUpLimit);
  EXPECT_EQ(version.Output(), "webtessl " + std::string(kProgramVersion) + "\n");

  ProgramProcess help(folder, input.ReadEnd(), {"-config", folder.File("x.ini"), "--help"});
  ExpectCleanExit(help, kStartUpLimit);
  const std::string text = help.Output();
  EXPECT_EQ(text.rfind("Usage: webtessl [-config PATH]\n", 0), 0u) << text;
  EXPECT_NE(text.find("--version"), std::string::npos);
  EXPECT_EQ(text.find("Starting"), std::string::npos);
}

TEST(ProgramTest, HelpThatCannotBeWrittenEndsWithExitCodeOne) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  std::string program = kProgram;
  std::string option = "--help";
  char* argv[] = {program.data(), option.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, kProgram.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(ProgramTest, AConfigurationFileNamedLikeAnOptionIsStillServed) {
  TempFolder folder;
  Pipe input;
  const std::string config = folder.File("--help");
  const int port = WriteConfigWithFreePort(config);
  ProgramProcess program(folder, input.ReadEnd(), {"-config", config});
  program.WaitUntilStarted();
  program.Signal(SIGTERM);
  ExpectCleanExit(program, kStopLimit);
  EXPECT_EQ(program.Output(), ServerLines(port));
}

// A pseudo-terminal standing in for the operator's console.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(grantpt(master_), 0);
    EXPECT_EQ(unlockpt(master_), 0);
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(slave_, 0);
  }
  ~PseudoTerminal() {
    close(slave_);
    close(master_);
  }
  int Slave() const { return slave_; }
  cc_t WordErase() const {
    termios settings{};
    EXPECT_EQ(tcgetattr(slave_, &settings), 0);
    return settings.c_cc[VWERASE];
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(ProgramTest, CtrlWReachesItFromATerminalAndWordEraseComesBack) {
  TempFolder folder;
  PseudoTerminal terminal;
  const cc_t wordErase = terminal.WordErase();
  ASSERT_EQ(wordErase, 0x17);  // the usual setting: Ctrl+W erases a word
  ProgramProcess program(folder, terminal.Slave());
  const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
  while (terminal.WordErase() == wordErase && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(terminal.WordErase(), _POSIX_VDISABLE);
  terminal.Type("abc \x17\r");
  ExpectCleanExit(program, kStopLimit);
  EXPECT_EQ(terminal.WordErase(), wordErase);
}

TEST(ProgramTest, InterruptFromATerminalStillRestoresWordErase) {
  TempFolder folder;
  PseudoTerminal terminal;
  const cc_t wordErase = terminal.WordErase();
  ProgramProcess program(folder, terminal.Slave());
  const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
  while (terminal.WordErase() == wordErase && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  program.Signal(SIGINT);
  const std::optional<int> status = program.WaitForExit(kStopLimit);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT);
  EXPECT_EQ(terminal.WordErase(), wordErase);
}

}  // namespace
}  // namespace webtessl
