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

}  // namespace
}  // namespace webtessl
