// The HTTP engine with one handler that answers every request with the same 1 KiB body: the
// server side of bench/http_engine.sh. Usage: http_fixed_bench <port>; listens on 127.0.0.1 until
// SIGTERM or SIGINT, writing the engine's trace to standard output like the real server.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "http/httpsrv.h"
#include "log/ConsoleLog.h"

namespace {

constexpr size_t kBodySize = 1024;
constexpr auto kStopPoll = std::chrono::milliseconds(100);

std::atomic<bool> stopRequested{false};

void RequestStop(int) {
  stopRequested = true;
}

// Claims every request with a fixed plain-text body.
class TFixedHandler : public webtessl::IRequestHandler {
 public:
  bool HandleRequest(std::unique_ptr<webtessl::THttpRequest>&,
                     std::unique_ptr<webtessl::THttpRequest>& response) override {
    response->SetStatus(200);
    response->SetHeader(webtessl::THttpRequest::kContentType, "text/plain");
    response->Content = body_;
    return true;
  }
  std::string GetName() const override { return "fixed"; }

 private:
  const std::string body_ = std::string(kBodySize, 'x');
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <port>\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, RequestStop);
  std::signal(SIGINT, RequestStop);
  const webtessl::TBatchedConsoleLog batchedLog;
  webtessl::THTTPServer server;
  server.Handlers.Add(std::make_shared<TFixedHandler>());
  server.SetLocalAddress("127.0.0.1");
  server.SetPort(argv[1]);
  server.SetActive(true);
  while (!stopRequested) std::this_thread::sleep_for(kStopPoll);
  server.SetActive(false);
  return 0;
}
