#include "http/HostFilter.h"

#include <gtest/gtest.h>

#include <atomic>

#include <string>

#include "tests/http/TestServer.h"

namespace webtessl {
namespace {

using testing::TRawClient;
using testing::TTestServer;

TEST(HostFilterTest, AdmitsAddressesLocalNamesAndTheGivenNamesOnly) {
  const THostFilter filter("Build-Box.example.org", {"files.lan", " Extra.Example "});
  for (const char* host :
       {"", "127.0.0.1", "127.0.0.1:20800", "192.168.1.20", "[::1]", "[::1]:20800",
        "[fe80::1:2]", "localhost", "LOCALHOST:80", "app.localhost", "localhost.",
        "build-box.example.org", "Build-Box", "build-box.local", "files.lan:8080",
        "extra.example"}) {
    EXPECT_TRUE(filter.Admits(host)) << host;
  }
  for (const char* host :
       {"evil.example", "1.2.3.4.evil.example", "1.2.3.4.com", "127.0.0.1.nip.io", "256.1.1.1",
        "1.2.3", "[::1", "[evil.example]", "localhost.evil.example", "files.lan.evil",
        "127.0.0.1:port", "build-box.example.org.evil", "other.local"}) {
    EXPECT_FALSE(filter.Admits(host)) << host;
  }
}

// On a real server the check comes before every handler: a foreign name gets 421 and nothing
// else, on a connection that stays usable.
TEST(HostFilterTest, AForeignHostNameGets421BeforeAnyHandler) {
  TTestServer server;
  std::atomic<int> handled{0};
  server.Handle([&handled](auto&, auto& response) {
    ++handled;
    response->SetStatus(200);
    response->Content = "secret";
    return true;
  });
  server.Server().HostFilter.emplace("box", std::vector<std::string>{});
  server.Start();
  TRawClient client(server.Port());
  client.Send("GET / HTTP/1.1\r\nHost: rebound.example:" + std::to_string(server.Port()) +
              "\r\n\r\n");
  const std::string head = client.ReadHead();
  EXPECT_EQ(head.rfind("HTTP/1.1 421 Misdirected Request\r\n", 0), 0u) << head;
  EXPECT_EQ(head.find("secret"), std::string::npos);
  client.Read(static_cast<size_t>(std::stoi(head.substr(head.find("Content-Length: ") + 16))));
  client.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n\r\n");
  EXPECT_EQ(client.ReadHead().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(client.Read(6), "secret");
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace webtessl
