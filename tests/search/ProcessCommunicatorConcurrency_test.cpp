#include "search/ProcessCommunicator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/TestDesktop.h"
#include "tests/search/CommunicatorTestSupport.h"
#include "tests/search/PeerProcess.h"

namespace webtessl {
namespace {

using testing_desktop::TTestDesktop;
using testing_peer::kPeerTitle;
using testing_peer::Prepare;
using testing_peer::PumpUntil;
using testing_peer::Text;
using testing_peer::TPeerProcess;
using testing_peer::TReceived;

// One search's exchange, as a connection thread does it: an endpoint of its own, named after the
// process and its window, sends a text naming itself; the echoing peer sends it back.
bool OwnExchange() {
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "T" + std::to_string(::getpid()) + std::to_string(endpoint.Handle()));
  const std::string query = "query of " + endpoint.Name();
  if (!endpoint.SendText(kPeerTitle, query)) return false;
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 10000);
  return received.calls == 1 && received.from == kPeerTitle && Text(received.buf) == query;
}

void RunExchanges(int threads, const std::vector<std::string>& peerOptions = {"--echo", "1"}) {
  TTestDesktop desktop;
  TPeerProcess peer(peerOptions);
  ASSERT_TRUE(peer.AwaitReady());
  std::atomic<int> good{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) workers.emplace_back([&] { good += OwnExchange() ? 1 : 0; });
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(good.load(), threads);
}

TEST(ProcessCommunicatorConcurrencyTest, TwoEndpointsOnTwoThreadsReceiveOnlyTheirOwnData) {
  RunExchanges(2);
}

TEST(ProcessCommunicatorConcurrencyTest, ThirtyTwoEndpointsAtOnce) { RunExchanges(32); }

// The peer as the benchmark runs it: answering threads, a lone answer sent by the window's own
// thread, no lines per query. Each asker still gets its own answer and no other.
TEST(ProcessCommunicatorConcurrencyTest, ThirtyTwoEndpointsAtOnceWithLoneAnswersSentInline) {
  RunExchanges(32, {"--echo", "1", "--threads", "2", "--idle-inline", "1", "--quiet", "1"});
}

}  // namespace
}  // namespace webtessl
