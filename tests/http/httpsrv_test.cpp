#include "http/httpsrv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/http/TestServer.h"

namespace webtessl {
namespace {

using testing::TRawClient;
using testing::TTestServer;

// Answers 200 with its name as the body when the path is its own, and notes every request seen.
class TPathHandler : public IRequestHandler {
 public:
  TPathHandler(std::string name, std::string path, std::vector<std::string>* seen)
      : name_(std::move(name)), path_(std::move(path)), seen_(seen) {}
  bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                     std::unique_ptr<THttpRequest>& response) override {
    {
      const std::lock_guard<std::mutex> guard(lock_);
      seen_->push_back(name_ + " " + request->URI);
    }
    if (request->URI.substr(0, request->URI.find('?')) != path_) return false;
    response->SetStatus(200);
    response->Content = name_;
    return true;
  }
  std::string GetName() const override { return name_; }

 private:
  static inline std::mutex lock_;
  std::string name_;
  std::string path_;
  std::vector<std::string>* seen_;
};

TEST(THTTPServerTest, OffersRequestsInRegistrationOrderUntilOneClaims) {
  std::vector<std::string> seen;
  TTestServer server;
  server.Server().Handlers.Add(std::make_shared<TPathHandler>("download", "/download", &seen));
  server.Server().Handlers.Add(std::make_shared<TPathHandler>("search", "/find", &seen));
  server.Server().Handlers.Add(std::make_shared<TPathHandler>("file", "/index.html", &seen));
  server.Start();
  TRawClient client(server.Port());
  for (const char* uri : {"/find?q=x", "/download?file=a", "/index.html", "/other"}) {
    client.Send(std::string("GET ") + uri + " HTTP/1.1\r\n\r\n");
    const std::string head = client.ReadHead();
    if (std::string(uri) == "/other") {
      EXPECT_NE(head.find("404 Not Found"), std::string::npos);
    } else {
      EXPECT_NE(head.find("200 OK"), std::string::npos) << uri;
      client.Read(static_cast<size_t>(std::stoi(head.substr(head.find("Content-Length: ") + 16))));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"download /find?q=x", "search /find?q=x",
                                            "download /download?file=a", "download /index.html",
                                            "search /index.html", "file /index.html",
                                            "download /other", "search /other", "file /other"}));
}

// Both requests must be inside the one handler at the same moment to get their answer.
TEST(THTTPServerConcurrencyTest, TwoConnectionsRunTheSameHandlerAtOnce) {
  std::mutex lock;
  std::condition_variable changed;
  int inside = 0;
  TTestServer server;
  server.Handle([&](auto&, auto& response) {
    std::unique_lock<std::mutex> guard(lock);
    ++inside;
    changed.notify_all();
    const bool together =
        changed.wait_for(guard, std::chrono::seconds(5), [&] { return inside >= 2; });
    response->SetStatus(together ? 200 : 500);
    return true;
  });
  server.Start();
  TRawClient first(server.Port());
  TRawClient second(server.Port());
  first.Send("GET /a HTTP/1.1\r\n\r\n");
  second.Send("GET /b HTTP/1.1\r\n\r\n");
  EXPECT_NE(first.ReadHead().find("200 OK"), std::string::npos);
  EXPECT_NE(second.ReadHead().find("200 OK"), std::string::npos);
}

// Records whether it was ever destroyed while a call was still running in it.
class TSlowHandler : public IRequestHandler {
 public:
  TSlowHandler(std::atomic<int>* entered, std::atomic<bool>* releasedWhileBusy)
      : entered_(entered), releasedWhileBusy_(releasedWhileBusy) {}
  ~TSlowHandler() override {
    if (busy_.load() != 0) releasedWhileBusy_->store(true);
  }
  bool HandleRequest(std::unique_ptr<THttpRequest>&,
                     std::unique_ptr<THttpRequest>& response) override {
    ++busy_;
    ++*entered_;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    response->SetStatus(200);
    --busy_;
    return true;
  }
  std::string GetName() const override { return "slow"; }

 private:
  std::atomic<int> busy_{0};
  std::atomic<int>* entered_;
  std::atomic<bool>* releasedWhileBusy_;
};

TEST(THTTPServerConcurrencyTest, DestructionEndsConnectionsBeforeReleasingHandlers) {
  std::atomic<int> entered{0};
  std::atomic<bool> releasedWhileBusy{false};
  TTestServer server;
  server.Server().Handlers.Add(std::make_shared<TSlowHandler>(&entered, &releasedWhileBusy));
  server.Start();
  TRawClient busy(server.Port());
  TRawClient idle(server.Port());
  busy.Send("GET /slow HTTP/1.1\r\n\r\n");
  idle.Send("GET /slow HTTP/1.1\r\n");  // stays inside its header read
  while (entered.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  server.Server().SetActive(false);
  server.Destroy();
  EXPECT_FALSE(releasedWhileBusy.load());
  EXPECT_TRUE(idle.ClosedWithoutData());
  busy.ReadAll();
  EXPECT_TRUE(busy.Closed());
}

}  // namespace
}  // namespace webtessl
