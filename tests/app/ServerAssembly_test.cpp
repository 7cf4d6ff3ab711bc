#include "app/ServerAssembly.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>

#include "config/IniFile.h"
#include "tests/http/RawClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::TChildProcess;
using testing::TRawClient;

std::string Hex(int value) {
  std::ostringstream text;
  text << std::hex << value;
  return text.str();
}

class ServerAssemblyTest : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& portText) {
    config_ = folder_.Write("config.ini", "[Server]\r\nPort = " + portText + "\r\n");
  }
  std::string StartLines() const {
    return "Starting http server on port " + std::to_string(port_) + "\nDone.\n";
  }
  std::string StopLines() const {
    return "Stoping http server on port " + std::to_string(port_) + "\nDone.\n";
  }

  const int port_ = testing::FreeLoopbackPort();
  testing_support::TempFolder folder_;
  std::string config_;
};

// The same setting, for the tests where a request runs while the program starts or stops.
class ServerAssemblyConcurrencyTest : public ServerAssemblyTest {};

TEST_F(ServerAssemblyConcurrencyTest, StartsOnTheConfiguredPortAndStops) {
  WriteConfig("0x" + Hex(port_));
  const TIniFile iniFile(config_);
  TServerAssembly assembly(iniFile);
  ::testing::internal::CaptureStdout();
  assembly.Start();
  EXPECT_TRUE(assembly.Running());
  {
    TRawClient client(port_);
    client.Send("GET / HTTP/1.0\r\n\r\n");
    EXPECT_NE(client.ReadAll().find("HTTP/1.0 404 Not Found\r\n"), std::string::npos);
  }
  assembly.Stop();
  assembly.Stop();
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(assembly.Running());
  EXPECT_EQ(output.substr(0, StartLines().size()), StartLines());
  EXPECT_EQ(output.substr(output.size() - StopLines().size()), StopLines());
}

// The real program: a request is half read when the stop comes; the connection is closed
// without an answer and the program ends with the stop lines and exit code 0.
void StopDuringRequest(const std::string& config, int port, const std::string& startLines,
                       const std::string& stopLines, bool byKey) {
  TChildProcess program({std::string(WEBTESSL_BUILD_DIR) + "/webtessl", "-config", config},
                        testing_support::TChildSettings::Typed());
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(program.WaitForOutput(startLines)) << program.Output();
  TRawClient client(port);
  client.Send("GET /in-progress HTTP/1.1\r\n");
  ASSERT_TRUE(program.WaitForOutput("Command:\r\nGET /in-progress HTTP/1.1\n")) << program.Output();
  if (byKey) {
    program.Type("x\x17\n");
  } else {
    program.Signal(SIGTERM);
  }
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_TRUE(client.ClosedWithoutData());
  const std::string& output = program.Output();
  ASSERT_GE(output.size(), stopLines.size());
  EXPECT_EQ(output.substr(output.size() - stopLines.size()), stopLines) << output;
}

// One request on its own connection; the whole answer.
std::string Fetch(int port, const std::string& target) {
  TRawClient client(port);
  client.Send("GET " + target + " HTTP/1.1\r\nConnection: close\r\n\r\n");
  return client.ReadAll();
}

TEST_F(ServerAssemblyTest, OffersDownloadsBeforeFiles) {
  const std::string file = folder_.Write("shared.txt", "shared");
  WriteConfig(std::to_string(port_));
  const TIniFile iniFile(config_);
  TServerAssembly assembly(iniFile);
  ::testing::internal::CaptureStdout();
  assembly.Start();
  std::string answer = Fetch(port_, "/download?file=" + file);
  EXPECT_NE(answer.find("\r\nContent-disposition: attachment; filename=\"shared.txt\"\r\n"),
            std::string::npos)
      << answer;
  EXPECT_TRUE(answer.ends_with("\r\n\r\nshared")) << answer;
  // The file handler answers the rest, and "/download" too once downloads are switched off.
  EXPECT_TRUE(Fetch(port_, "/missing.txt").ends_with("\r\n\r\nNot found."));
  folder_.Write("config.ini", "[settings]\r\nenabledownload=0\r\n");
  answer = Fetch(port_, "/download?file=" + file);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 404 Not Found\r\n")) << answer;
  EXPECT_TRUE(answer.ends_with("\r\n\r\nNot found.")) << answer;
  assembly.Stop();
  ::testing::internal::GetCapturedStdout();
}

TEST_F(ServerAssemblyConcurrencyTest, TheProgramServesTheWebPageBesideIt) {
  WriteConfig(std::to_string(port_));
  TChildProcess program({std::string(WEBTESSL_BUILD_DIR) + "/webtessl", "-config", config_},
                        testing_support::TChildSettings::Typed());
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(program.WaitForOutput(StartLines())) << program.Output();
  const std::string answer = Fetch(port_, "/");
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
  EXPECT_NE(answer.find("<script src=\"/app.js\""), std::string::npos) << "the page's script";
  EXPECT_NE(Fetch(port_, "/app.js").find("\"/find?\""), std::string::npos)
      << "the search page asks /find";
  program.Type("\x17\n");
  EXPECT_EQ(program.Wait(), 0);
}

TEST_F(ServerAssemblyConcurrencyTest, CtrlWDuringARequestStopsTheProgram) {
  WriteConfig(std::to_string(port_));
  StopDuringRequest(config_, port_, StartLines(), StopLines(), true);
}

TEST_F(ServerAssemblyConcurrencyTest, SigtermDuringARequestStopsTheProgram) {
  WriteConfig("  " + std::to_string(port_));
  StopDuringRequest(config_, port_, StartLines(), StopLines(), false);
}

}  // namespace
}  // namespace webtessl
