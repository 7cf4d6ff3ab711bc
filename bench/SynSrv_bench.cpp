// Line-echo server on the threaded TCP server, measured from loopback clients in one run:
//  1. connections per second with SpareThreads 3 (parked workers reused) against SpareThreads 0
//     (a new thread per connection), with 1 and with 8 client threads;
//  2. how many idle connections the server holds (each one a parked read on its own worker)
//     while a fresh client is still answered within 50 ms.
// Usage: SynSrv_bench [idle connections, default 2000] [seconds per rate measurement, default 1.5]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/SynSrv.h"
#include "net/blcksock.h"

using namespace webtessl;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kReplyTimeoutMs = 5000;
constexpr double kFreshClientLimitMs = 50.0;
constexpr int kFreshClientProbes = 20;
constexpr const char* kLoopback = "127.0.0.1";

// The echo server: every line comes back; "quit" makes the server close the connection. It
// listens on a port of the system's choice (see ListeningPort).
std::unique_ptr<TSynTcpServer> StartEchoServer(int16_t spareThreads) {
  auto server = std::make_unique<TSynTcpServer>();
  server->SetLocalAddress(kLoopback);
  server->SetPort("0");
  server->SetSpareThreads(spareThreads);
  server->SetOnCommand([](TSynTcpSrvConnection& connection, const std::string& line) {
    if (line == "quit") {
      connection.Disconnect();
      return;
    }
    connection.Socket().SendText(line + "\r\n");
  });
  server->SetActive(true);
  return server;
}

// One short connection: connect, one echoed line, then the server closes. True when all went right.
bool OneConnection(const std::string& port) {
  TTCPBlockSocket client;
  client.Connect(kLoopback, port);
  client.SendText("ping\r\nquit\r\n");
  const bool echoed = client.ReceiveLine(kReplyTimeoutMs) == "ping";
  client.ReceiveLine(kReplyTimeoutMs);  // the server's close
  return echoed && client.LastErrorCode() == kSocketConnectionReset;
}

// Connections per second that `clients` threads achieve against a fresh server.
double ConnectionsPerSecond(int16_t spareThreads, int clients, double seconds) {
  const auto server = StartEchoServer(spareThreads);
  const std::string port = std::to_string(server->ListeningPort());
  std::atomic<long> done{0};
  std::atomic<long> failed{0};
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      while (Clock::now() < deadline) {
        (OneConnection(port) ? done : failed)++;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (failed > 0) {
    std::printf("  (%ld connections failed)\n", failed.load());
  }
  return static_cast<double>(done) / elapsed;
}

void CompareSpareThreads(int clients, double seconds) {
  const double pooled = ConnectionsPerSecond(3, clients, seconds);
  const double unpooled = ConnectionsPerSecond(0, clients, seconds);
  std::printf(
      "connections/s with %d client thread(s): SpareThreads 3: %.0f  SpareThreads 0 (peer): %.0f  "
      "ratio %.2f\n",
      clients, pooled, unpooled, pooled / unpooled);
}

double FreshClientMilliseconds(const std::string& port) {
  const auto start = Clock::now();
  TTCPBlockSocket client;
  client.Connect(kLoopback, port);
  client.SendText("fresh\r\n");
  const bool answered = client.ReceiveLine(kReplyTimeoutMs) == "fresh";
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return answered ? ms : -1.0;
}

bool HoldIdleConnections(int idleCount) {
  const int64_t limit = RaiseOpenFileLimit(2 * static_cast<int64_t>(idleCount) + 256);
  const auto server = StartEchoServer(3);
  const std::string port = std::to_string(server->ListeningPort());
  std::vector<std::unique_ptr<TTCPBlockSocket>> idle;
  idle.reserve(static_cast<std::size_t>(idleCount));
  for (int i = 0; i < idleCount; ++i) {
    auto client = std::make_unique<TTCPBlockSocket>();
    client->Connect(kLoopback, port);
    client->SendText("hello\r\n");
    if (client->ReceiveLine(kReplyTimeoutMs) != "hello") {
      std::printf("idle connection %d failed: %s (open-file limit %lld)\n", i,
                  client->LastErrorText().c_str(), static_cast<long long>(limit));
      break;
    }
    idle.push_back(std::move(client));
  }
  std::vector<double> probes;
  for (int i = 0; i < kFreshClientProbes; ++i) {
    probes.push_back(FreshClientMilliseconds(port));
  }
  std::sort(probes.begin(), probes.end());
  const bool allAnswered = probes.front() >= 0;
  const double worst = probes.back();
  const bool ok =
      allAnswered && worst <= kFreshClientLimitMs && static_cast<int>(idle.size()) == idleCount;
  std::printf(
      "idle connections held: %zu (server connections %zu, workers %zu); fresh client answered: "
      "median %.2f ms, max %.2f ms (limit %.0f ms): %s\n",
      idle.size(), server->ConnectionCount(), server->WorkerCount(), probes[probes.size() / 2],
      worst, kFreshClientLimitMs, ok ? "OK" : "FAILED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int idleCount = argc > 1 ? std::atoi(argv[1]) : 2000;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 1.5;
  std::printf("SynSrv line-echo server on 127.0.0.1, %.1f s per rate measurement\n", seconds);
  CompareSpareThreads(1, seconds);
  CompareSpareThreads(8, seconds);
  return HoldIdleConnections(idleCount) ? 0 : 1;
}
