#include "platform/Process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "tests/platform/TestDesktop.h"
#include "tests/platform/TestFolder.h"

namespace webtessl {
namespace {

using testing_desktop::Eventually;
using testing_desktop::TTestFolder;

bool NoChildLeft() {
  int status = 0;
  return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A started program runs in its folder with its arguments, in a session of its own, with
// /dev/null as input and output, and nobody is left to reap.
TEST(ProcessTest, DetachedStartRunsInItsFolderAndLeavesNoZombie) {
  TTestFolder folder;
  const std::string script = folder.Root() + "/probe";
  const std::string log = folder.Root() + "/log";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1)\n"
                        << "{ pwd; echo \"$*\"; cut -d' ' -f6 /proc/$$/stat; echo $in; echo $out; } > "
                        << log << ".part\nmv " << log << ".part " << log << "\n";
  ::chmod(script.c_str(), 0755);
  int exitCode = -1;
  ASSERT_EQ(StartProcess({script, {"-tray", "two words"}, folder.Root()}, 0, exitCode),
            TStartOutcome::Started);
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(log); }));
  std::istringstream lines(ReadAll(log));
  std::string pwd, arguments, session, input, output;
  std::getline(lines, pwd);
  std::getline(lines, arguments);
  std::getline(lines, session);
  std::getline(lines, input);
  std::getline(lines, output);
  EXPECT_EQ(pwd, std::filesystem::canonical(folder.Root()).string());
  EXPECT_EQ(arguments, "-tray two words");
  EXPECT_NE(session, std::to_string(::getsid(0)));
  EXPECT_EQ(input, "/dev/null");
  EXPECT_EQ(output, "/dev/null");
  EXPECT_TRUE(NoChildLeft());
}

TEST(ProcessTest, WaitedStartGivesTheExitCodeOrTimesOut) {
  int exitCode = -1;
  EXPECT_EQ(StartProcess({"/bin/sh", {"-c", "exit 7"}, ""}, 5000, exitCode),
            TStartOutcome::Finished);
  EXPECT_EQ(exitCode, 7);
  EXPECT_EQ(StartProcess({"/bin/sleep", {"2"}, ""}, 100, exitCode), TStartOutcome::TimedOut);
  EXPECT_TRUE(NoChildLeft());
}

TEST(ProcessTest, ProgramsThatCannotRunFailTheStart) {
  TTestFolder folder;
  const std::string plain = folder.Root() + "/plain";
  std::ofstream(plain) << "not a program";
  int exitCode = -1;
  EXPECT_EQ(StartProcess({folder.Root() + "/missing", {}, ""}, 0, exitCode),
            TStartOutcome::Failed);
  EXPECT_EQ(StartProcess({plain, {}, ""}, 0, exitCode), TStartOutcome::Failed);
  EXPECT_EQ(StartProcess({"/bin/true", {}, folder.Root() + "/no-folder"}, 1000, exitCode),
            TStartOutcome::Failed);
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace webtessl
