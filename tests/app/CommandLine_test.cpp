#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace webtessl {
namespace {

TCommandLine Parse(std::vector<const char*> argv) {
  return TCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, ArgumentsAreLowerCasedWithTheProgramFirst) {
  const TCommandLine commandLine = Parse({"/Opt/WebTessl", "-CONFIG", "/Data/Config.INI", "X"});
  EXPECT_EQ(commandLine.Arguments(),
            (std::vector<std::string>{"/opt/webtessl", "-config", "/data/config.ini", "x"}));
}

TEST(CommandLineTest, ConfigOptionInAnyCaseKeepsThePathAsGiven) {
  EXPECT_EQ(Parse({"webtessl", "-Config", "/Data/Config.INI"}).ConfigPath(), "/Data/Config.INI");
  EXPECT_EQ(Parse({"webtessl", "other", "-config", "a.ini"}).ConfigPath(), "a.ini");
}

TEST(CommandLineTest, FirstOptionDecides) {
  EXPECT_EQ(Parse({"webtessl", "-config", "first", "-config", "second"}).ConfigPath(), "first");
  EXPECT_EQ(Parse({"webtessl", "-config", "-config", "x"}).ConfigPath(), "-config");
}

TEST(CommandLineTest, MissingOrDanglingOptionIsIgnored) {
  EXPECT_EQ(Parse({"webtessl"}).ConfigPath(), std::nullopt);
  EXPECT_EQ(Parse({"webtessl", "-config"}).ConfigPath(), std::nullopt);
  EXPECT_EQ(Parse({"webtessl", "--config", "x"}).ConfigPath(), std::nullopt);
  EXPECT_EQ(Parse({"-config", "x"}).ConfigPath(), std::nullopt);  // position 0 is the program
  EXPECT_EQ(Parse({}).ConfigPath(), std::nullopt);
}

TEST(CommandLineTest, HelpAndVersionAreAskedAnywhereButAsTheConfigPath) {
  EXPECT_EQ(Parse({"webtessl", "--HELP"}).InformationAsked(), TInformation::kHelp);
  EXPECT_EQ(Parse({"webtessl", "-h"}).InformationAsked(), TInformation::kHelp);
  EXPECT_EQ(Parse({"webtessl", "-config", "a.ini", "--version"}).InformationAsked(),
            TInformation::kVersion);
  EXPECT_EQ(Parse({"webtessl", "--version", "--help"}).InformationAsked(), TInformation::kVersion);
  // The path of "-config" is a file name, whatever it reads like; a later option still counts.
  EXPECT_EQ(Parse({"webtessl", "-config", "--help"}).InformationAsked(), std::nullopt);
  EXPECT_EQ(Parse({"webtessl", "-config", "--help"}).ConfigPath(), "--help");
  EXPECT_EQ(Parse({"webtessl", "-config", "--help", "--help"}).InformationAsked(),
            TInformation::kHelp);
  // The program's own path, and look-alikes, ask for nothing.
  EXPECT_EQ(Parse({"--help"}).InformationAsked(), std::nullopt);
  EXPECT_EQ(Parse({"webtessl", "-help", "--versions", "help"}).InformationAsked(), std::nullopt);
}

}  // namespace
}  // namespace webtessl
