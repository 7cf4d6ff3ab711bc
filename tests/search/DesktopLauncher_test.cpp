#include "search/DesktopLauncher.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Registry.h"
#include "tests/platform/TestDesktop.h"
#include "tests/platform/TestFolder.h"

namespace webtessl {
namespace {

using testing_desktop::Eventually;
using testing_desktop::TTestFolder;

// A server folder and an install folder in a test folder; fake programs that write their own
// name, working folder and arguments into a log when started.
class DesktopLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(ServerFolder());
    std::filesystem::create_directory(InstallFolder());
  }

  std::string ServerFolder() const { return folder_.Root() + "/server/"; }
  std::string InstallFolder() const { return folder_.Root() + "/install/"; }
  std::string Log() const { return folder_.Root() + "/launch.log"; }

  void PlaceProgram(const std::string& folder, const std::string& label) const {
    const std::string path = folder + kDesktopProgramName;
    std::ofstream(path) << "#!/bin/sh\necho \"" << label << "|$(pwd)|$*\" > " << Log()
                        << ".part\nmv " << Log() << ".part " << Log() << "\n";
    ::chmod(path.c_str(), 0755);
  }
  void RegisterInstallPath(const std::string& valueLine) const {
    folder_.WriteRegistry("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Nalo\\Tessel]\n" +
                          valueLine + "\n");
  }
  // What the started program logged: "label|working folder|arguments".
  std::string Launched() const {
    if (!Eventually([&] { return std::filesystem::exists(Log()); })) return "";
    std::ifstream file(Log());
    std::string line;
    std::getline(file, line);
    return line;
  }
  std::string Canonical(const std::string& folder) const {
    return std::filesystem::canonical(folder).string();
  }

  TTestFolder folder_;
};

bool NoChildLeft() {
  int status = 0;
  return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

TEST_F(DesktopLauncherTest, ProgramBesideTheServerComesFirst) {
  PlaceProgram(ServerFolder(), "server");
  PlaceProgram(InstallFolder(), "install");
  RegisterInstallPath("\"InstallPath\"=\"" + InstallFolder() + "\"");
  EXPECT_TRUE(LaunchDesktopApp(ServerFolder()));
  EXPECT_EQ(Launched(), "server|" + Canonical(ServerFolder()) + "|-tray");
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(DesktopLauncherTest, RegistryFolderIsTheFallbackAndTheWorkingFolder) {
  PlaceProgram(InstallFolder(), "install");
  std::filesystem::create_directory(ServerFolder() + kDesktopProgramName);  // a folder, no program
  RegisterInstallPath("\"InstallPath\"=\"" + folder_.Root() + "/install\"");
  EXPECT_TRUE(LaunchDesktopApp(ServerFolder()));
  EXPECT_EQ(Launched(), "install|" + Canonical(InstallFolder()) + "|-tray");
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(DesktopLauncherTest, NoProgramAnywhereGivesFalse) {
  EXPECT_FALSE(LaunchDesktopApp(ServerFolder()));  // no registry file at all
  std::filesystem::create_directory(ServerFolder() + kDesktopProgramName);
  std::filesystem::create_directory(InstallFolder() + kDesktopProgramName);
  RegisterInstallPath("\"InstallPath\"=\"" + InstallFolder() + "\"");
  EXPECT_FALSE(LaunchDesktopApp(ServerFolder()));  // folders named like the program
}

TEST_F(DesktopLauncherTest, MissingValueMeansTheProgramAtTheRoot) {
  ASSERT_FALSE(std::filesystem::exists("/tessel"));
  RegisterInstallPath("\"Other\"=\"x\"");
  std::string path = "unchanged";
  ReadInstallPath(path);
  EXPECT_EQ(path, "/tessel");
  EXPECT_FALSE(LaunchDesktopApp(ServerFolder()));

  folder_.WriteRegistry("[HKEY_CURRENT_USER\\Software\\Nalo\\Else]\n");
  path = "unchanged";
  ReadInstallPath(path);
  EXPECT_EQ(path, "unchanged");
}

TEST_F(DesktopLauncherTest, ValueThatIsNotTextRaises) {
  RegisterInstallPath("\"InstallPath\"=dword:00000001");
  try {
    LaunchDesktopApp(ServerFolder());
    FAIL() << "no error raised";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.Message(), "Invalid data type for 'InstallPath'");
  }
}

TEST_F(DesktopLauncherTest, FoundProgramThatFailsToStartStillCounts) {
  std::ofstream(ServerFolder() + kDesktopProgramName) << "not executable";
  EXPECT_TRUE(LaunchDesktopApp(ServerFolder()));
  uint32_t exitCode = 99;
  EXPECT_FALSE(RunProgram(ServerFolder() + kDesktopProgramName, kTrayParameters, exitCode, 0,
                          false));
  EXPECT_EQ(exitCode, 0u);
}

TEST_F(DesktopLauncherTest, RunProgramWaitsWhenAskedAndReportsTheExitCode) {
  uint32_t exitCode = 99;
  EXPECT_TRUE(RunProgram("/bin/false", "", exitCode, 5000, true));
  EXPECT_EQ(exitCode, 1u);
  EXPECT_FALSE(RunProgram("/bin/sleep", " 2 ", exitCode, 100, false));
  EXPECT_TRUE(NoChildLeft());
}

// However many searches ask while the application is absent, it is started once per interval.
TEST_F(DesktopLauncherTest, StartsTheProgramOnlyOnceForManyAsksInARow) {
  const std::string counter = folder_.Root() + "/starts";
  const std::string program = ServerFolder() + kDesktopProgramName;
  std::ofstream(program) << "#!/bin/sh\necho started >> " << counter << "\n";
  ::chmod(program.c_str(), 0755);
  for (int ask = 0; ask < 50; ++ask) EXPECT_TRUE(LaunchDesktopApp(ServerFolder()));
  const auto starts = [&] {
    std::ifstream lines(counter);
    int count = 0;
    for (std::string line; std::getline(lines, line);) ++count;
    return count;
  };
  ASSERT_TRUE(Eventually([&] { return starts() > 0; }));
  // Every start happened within the calls; a second one would have written by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(starts(), 1);
  EXPECT_TRUE(NoChildLeft());
}

// Why the application could not be started is said on the console once, not at every search.
TEST_F(DesktopLauncherTest, SaysOnceWhyTheProgramCannotStart) {
  testing::internal::CaptureStdout();
  for (int ask = 0; ask < 5; ++ask) LaunchDesktopApp(ServerFolder());
  std::ofstream(ServerFolder() + kDesktopProgramName) << "not executable";
  for (int ask = 0; ask < 5; ++ask) LaunchDesktopApp(ServerFolder());
  const std::string console = testing::internal::GetCapturedStdout();
  const std::string missing =
      "The desktop search application was not found: " + ServerFolder() + kDesktopProgramName;
  EXPECT_EQ(console, missing + "\nCannot start " + ServerFolder() + kDesktopProgramName +
                         ": Permission denied\n");
}

// A relative install folder is taken from the current folder, and the program found there is
// the one run (not the same relative path again from the program's own folder).
TEST_F(DesktopLauncherTest, RelativeInstallPathIsResolvedOnce) {
  PlaceProgram(InstallFolder(), "install");
  RegisterInstallPath("\"InstallPath\"=\"install\"");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder_.Root());
  const bool launched = LaunchDesktopApp(ServerFolder());
  std::filesystem::current_path(before);
  EXPECT_TRUE(launched);
  EXPECT_EQ(Launched(), "install|" + Canonical(InstallFolder()) + "|-tray");
}

}  // namespace
}  // namespace webtessl
