#pragma once

// A real HTTP server on loopback with the search handler first and a fallback handler after it,
// a private desktop for the test peer, and a configuration file in a private folder.

#include <fstream>
#include <memory>
#include <string>

#include "config/IniFile.h"
#include "search/tesselRequestHandler.h"
#include "tests/http/TestServer.h"
#include "tests/platform/TestDesktop.h"
#include "tests/platform/TestFolder.h"

namespace webtessl::testing_search {

// What the fallback handler answers for the requests the search handler passes on.
constexpr char kPassedOn[] = "passed on";

// One response as the client saw it.
struct THttpAnswer {
  std::string head;  // status line and headers, without the empty line
  std::string body;
  bool answered = false;  // false when the connection closed without a response

  int Status() const { return answered ? std::stoi(head.substr(head.find(' ') + 1, 3)) : 0; }
  bool HasHeader(const std::string& line) const {
    return head.find("\r\n" + line + "\r\n") != std::string::npos || head.ends_with("\r\n" + line);
  }
};

class TSearchServer {
 public:
  TSearchServer() : iniFile_(folder_.Root() + "/config.ini") {
    auto handler = std::make_shared<TTesselRequestHandler>();
    handler->SetIniFile(&iniFile_);
    server_.Server().Handlers.Add(handler);
    server_.Handle(
        [](auto&, auto& response) {
          response->SetStatus(200);
          response->Content = kPassedOn;
          return true;
        },
        "fallback");
    server_.Start();
  }

  // Replaces the configuration file by a "settings" section with these lines (CR LF added).
  void WriteSettings(const std::string& lines) const {
    std::ofstream(iniFile_.FileName(), std::ios::binary | std::ios::trunc) << "[settings]\r\n"
                                                                           << lines;
  }

  // Sends one HTTP/1.0 GET and reads the whole answer.
  THttpAnswer Get(const std::string& uri) const {
    testing::TRawClient client(server_.Port());
    client.Send("GET " + uri + " HTTP/1.0\r\n\r\n");
    const std::string all = client.ReadAll(30000);
    THttpAnswer answer;
    const size_t headEnd = all.find("\r\n\r\n");
    if (headEnd == std::string::npos) return answer;
    answer.answered = true;
    answer.head = all.substr(0, headEnd);
    answer.body = all.substr(headEnd + 4);
    return answer;
  }

  int Port() const { return server_.Port(); }
  // The test's own folder (XDG_CONFIG_HOME is its "config" subfolder).
  const std::string& Root() const { return folder_.Root(); }
  const testing_desktop::TTestFolder& Folder() const { return folder_; }

 private:
  testing_desktop::TTestDesktop desktop_;
  testing_desktop::TTestFolder folder_;
  TIniFile iniFile_;
  testing::TTestServer server_;
};

}  // namespace webtessl::testing_search
