#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/IniFile.h"
#include "files/HtmlText.h"
#include "files/downloadHandler.h"
#include "files/fileRequestHandler.h"
#include "tests/files/FileServiceTesting.h"
#include "tests/http/TestServer.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

// One download handler and one file handler serve many connections at once; every answer must
// be the one asked for.
TEST(FileServiceConcurrencyTest, ServesFilesAndDownloadsOnManyConnectionsAtOnce) {
  constexpr int kClients = 4;
  constexpr int kRounds = 15;
  testing_support::TempFolder folder;
  std::filesystem::create_directories(folder.File("webroot/docs"));
  folder.Write("webroot/docs/index.html", "index");
  folder.Write("config.ini", "[settings]\r\ndirs=" + folder.File("shared") + "\r\n");
  std::filesystem::create_directories(folder.File("shared"));
  const TIniFile iniFile(folder.File("config.ini"));
  testing::TTestServer server;
  auto download = std::make_shared<TDownloadHandler>();
  download->SetIniFile(iniFile);
  server.Server().Handlers.Add(download);
  server.Server().Handlers.Add(std::make_shared<TFileRequestHandler>(folder.File("webroot"), true));
  std::vector<std::string> files;
  for (int client = 0; client < kClients; ++client) {
    const std::string name = "file" + std::to_string(client);
    folder.Write("webroot/" + name, name + " static");
    files.push_back(folder.Write("shared/" + name, name + " shared"));
  }
  server.Start();

  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      const std::string name = "file" + std::to_string(client);
      for (int round = 0; round < kRounds; ++round) {
        if (testing::Get(server.Port(), "/" + name).Body != name + " static") ++wrong;
        if (testing::Get(server.Port(), "/download?file=" + EncodeUrlPath(files[client])).Body !=
            name + " shared") {
          ++wrong;
        }
        if (testing::Get(server.Port(), "/docs/").Body != "index") ++wrong;
        if (testing::Get(server.Port(), "/").Status != 200) ++wrong;  // the listing
      }
    });
  }
  for (std::thread& thread : clients) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace webtessl
